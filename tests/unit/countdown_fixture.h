// A countdown controller on the in-memory backend, with recording views and window.
#pragma once

#include <string>
#include <vector>

#include "core/countdown.h"
#include "platform/headless/headless.h"

namespace vreko::testing {

struct RecordingReadout : ReadoutView {
    std::string caption = "OFF";
    Color color = colors::kLime;
    int changes = 0;
    void SetCaption(const std::string& c) override {
        caption = c;
        ++changes;
    }
    void SetFontColor(Color c) override {
        color = c;
        ++changes;
    }
};

struct RecordingText : TextView {
    std::string text;
    void SetText(const std::string& t) override { text = t; }
};

struct RecordingWindow : MainWindowOps {
    explicit RecordingWindow(EventLoop& l) : loop(l) {}
    EventLoop& loop;
    bool visible = true;
    int shows = 0, hides = 0, closes = 0;
    void Show() override {
        visible = true;
        ++shows;
    }
    void Hide() override {
        visible = false;
        ++hides;
    }
    void Close() override {
        ++closes;
        loop.PostQuit();
    }
    bool Visible() const override { return visible; }
};

struct CountdownFixture {
    explicit CountdownFixture(std::int32_t timePause = 10, bool testMode = false)
        : loop(platform),
          window(loop),
          launcher(platform, hold),
          controller(loop, window, {readout, idleLabel, restLabel}, launcher, hold, platform.sleepHold) {
        platform.AttachLoop(&loop);
        launcher.commands() = {"warn-cmd", "-w", "act-cmd", "-a"};
        controller.TimePause = timePause;
        controller.TestMode = testMode;
        controller.Reset();
        platform.CreateAppWindow("Vreko", wakeTarget);
    }
    // Seconds of real time, each delivering the running timer's tick.
    void Ticks(int n) { platform.AdvanceBy(std::int64_t(n) * 1000); }
    int LaunchesOf(const std::string& file) const {
        int n = 0;
        for (auto& l : platform.launches) n += l.file == file;
        return n;
    }
    bool Ended() const { return loop.QuitRequested(); }

    // The application's part: a wake-up brings the count forward.
    struct WakeTarget : EventHandler {
        explicit WakeTarget(CountdownFixture& f) : fixture(f) {}
        void Handle(const Event& e) override {
            if (e.As<MachineWoke>()) fixture.controller.ShowAfterSleep();
        }
        CountdownFixture& fixture;
    };

    headless::HeadlessPlatform platform;
    EventLoop loop;
    ModalHold hold;
    RecordingReadout readout;
    RecordingText idleLabel, restLabel;
    RecordingWindow window;
    CommandLauncher launcher;
    CountdownController controller;
    WakeTarget wakeTarget{*this};
};

}  // namespace vreko::testing
