// The whole program (application object and main window) on the in-memory backend, with
// its own settings (kept in memory by the backend) and a fresh temporary folder.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/main_form.h"
#include "platform/headless/headless.h"
#include "temp_folder.h"

namespace vreko::testing {

inline std::filesystem::path MakeTempDir() { return MakeUniqueTempDir("vreko-test-"); }

struct FormFixture {
    // ini: the settings file's text at start.
    explicit FormFixture(const std::string& ini = "",
                         std::shared_ptr<headless::HeadlessWorld> world = std::make_shared<headless::HeadlessWorld>())
        : dir(MakeTempDir()), platform(std::move(world)) {
        platform.moduleFileName = (dir / "vreko").string();
        platform.settings->path = (dir / "Vreko.INI").string();
        platform.settings->text = ini;
        platform.AttachLoop(&loop);
        app.SetTitle("Vreko");
        app.CreateHandle();
    }
    ~FormFixture() {
        form.reset();
        std::filesystem::remove_all(dir);
    }

    // Start-up as the program runs it: build the window, show it unless told otherwise.
    void Start() {
        form = std::make_unique<TForm1>(app, platform);
        if (app.ShowMainForm() && !loop.QuitRequested()) form->Show();
        platform.Drain();
    }

    headless::HeadlessWindow& window() { return *platform.mainWindow; }
    const std::string& Settings() const { return platform.settings->text; }

    // What the window system would send the main window, handled at once.
    void Send(EventData data) {
        platform.Inject(Event{&window().handler(), std::move(data)});
        platform.Drain();
    }
    void Key(vreko::Key key, bool withAlt = false) { Send(KeyPressed{key, false, withAlt}); }
    void Wheel(int steps) { Send(WheelTurned{steps}); }
    // The pointer at a client point: where it lies is the window's own answer, as a backend
    // asks it.
    void Move(int x, int y, HeldKeys held = {}) {
        window().pointer = Point{x, y};
        Send(PointerMoved{{x, y}, window().AreaOf({x, y}), held});
    }
    void Button(PointerButton button, bool down, int x, int y, bool doubleClick = false) {
        window().pointer = Point{x, y};
        HeldKeys held;
        if (down)
            (button == PointerButton::Left    ? held.left
             : button == PointerButton::Right ? held.right
                                              : held.middle) = true;
        Send(ButtonChanged{button, down, doubleClick, {x, y}, window().AreaOf({x, y}), held});
    }
    void Press(int x, int y, PointerButton button = PointerButton::Left) { Button(button, true, x, y); }
    void Release(int x, int y, PointerButton button = PointerButton::Left) { Button(button, false, x, y); }
    void Click(int x, int y) {
        Move(x, y);
        Press(x, y);
        Release(x, y);
    }
    void Ticks(int n) { platform.AdvanceBy(std::int64_t(n) * 1000); }
    bool Ended() const { return loop.QuitRequested(); }

    std::filesystem::path dir;
    headless::HeadlessPlatform platform;
    EventLoop loop{platform};
    TApplication app{platform, loop};
    std::unique_ptr<TForm1> form;
};

// A settings file with every key, for tests that need particular values.
inline std::string Ini(const std::string& timePause = "10", const std::string& test = "1",
                       const std::string& file1 = "warn", const std::string& file2 = "act",
                       const std::string& center = "1", const std::string& left = "0", const std::string& top = "0") {
    return "[Timer]\nTimePause=" + timePause + "\nPositionTop=" + top + "\nPositionLeft=" + left +
           "\nPositionCenter=" + center + "\nTest=" + test + "\n[AppStart]\nFileName1=" + file1 +
           "\nParam1=-one\nFileName2=" + file2 + "\nParam2=-two\n[Text]\nFontName=Arial Black\nFontSize=90\n";
}

}  // namespace vreko::testing
