// The program's own message box on the in-memory backend: its layout, its keys and button,
// and how it runs while the program goes on.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "controls/message_box_view.h"
#include "controls/popups.h"
#include "platform/headless/headless.h"

namespace vreko {
namespace {

using headless::DrawOp;
using headless::HeadlessWindow;
using headless::RecordingPainter;

// The backend's fixed metrics at 96 dpi: 9 pt is 12 pixels, each character 6 wide, lines 11 high.
constexpr int kCharWidth = 6;
constexpr int kLineHeight = 11;
constexpr int kMaxTextWidth = 720 - 16 - 16;

MessageBoxView Box(const std::string& text, MessageBoxIcon icon = MessageBoxIcon::Plain, int dpi = 96) {
    std::vector<DrawOp> none;
    RecordingPainter measure(none, {});
    return MessageBoxView(measure, dpi, text, icon);
}

std::vector<DrawOp> Painted(const MessageBoxView& box) {
    std::vector<DrawOp> ops;
    RecordingPainter p(ops, {0, 0, box.Width(), box.Height()});
    box.Paint(p);
    return ops;
}

std::string Joined(const std::vector<std::string>& lines, const std::string& between) {
    std::string all;
    for (const std::string& line : lines) all += (all.empty() ? "" : between) + line;
    return all;
}

TEST(MessageBoxView, ShortTextKeepsTheSmallestBoxWithTheButtonCentredBelow) {
    MessageBoxView box = Box("Done.");
    EXPECT_EQ(box.Lines(), (std::vector<std::string>{"Done."}));
    EXPECT_EQ(box.Width(), 160);
    EXPECT_NEAR(box.Button().left + box.Button().right, box.Width(), 1);
    EXPECT_GE(box.Button().top, 16 + kLineHeight);
    EXPECT_LT(box.Button().bottom, box.Height());
    EXPECT_TRUE(box.IconBox().Empty());
    // Line feeds make lines, carriage returns go; each line adds its height to the box.
    MessageBoxView two = Box("One.\r\nTwo.");
    EXPECT_EQ(two.Lines(), (std::vector<std::string>{"One.", "Two."}));
    EXPECT_EQ(two.Height() - box.Height(), kLineHeight);
}

TEST(MessageBoxView, LongTextWrapsAtSpacesWithinTheWidestBox) {
    std::string text;
    for (int i = 0; i < 60; ++i) text += (text.empty() ? "" : " ") + std::string("word") + char('a' + i % 26);
    MessageBoxView box = Box(text);
    ASSERT_GT(box.Lines().size(), 1u);
    for (const std::string& line : box.Lines()) {
        EXPECT_LE(int(line.size()) * kCharWidth, kMaxTextWidth) << line;
        EXPECT_NE(line.front(), ' ');
        EXPECT_NE(line.back(), ' ');
    }
    EXPECT_EQ(Joined(box.Lines(), " "), text);  // broken only at spaces, every word kept
    EXPECT_LE(box.Width(), 720);
    EXPECT_GT(box.Width(), Box("word").Width());  // the box grows with its text up to there
    // A word wider than the box breaks between its characters, UTF-8 sequences kept whole.
    std::string word;
    for (int i = 0; i < 150; ++i) word += "\xD0\x96";  // Cyrillic Zhe
    MessageBoxView wide = Box(word);
    ASSERT_EQ(wide.Lines().size(), 2u);
    EXPECT_EQ(Joined(wide.Lines(), ""), word);
    EXPECT_EQ(wide.Lines()[0].size() / 2 * kCharWidth, std::size_t(kMaxTextWidth / kCharWidth * kCharWidth));
}

TEST(MessageBoxView, TextThatIsNotUtf8IsShownWithReplacementCharacters) {
    EXPECT_EQ(Box("a\xFF"
                  "b\xC0\xAF"
                  "c\xED\xA0\x80")
                  .Lines()[0],
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD\xEF\xBF\xBD"
              "c\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(Box("\xF0\x9F\x98\x80 ok").Lines()[0], "\xF0\x9F\x98\x80 ok");
}

TEST(MessageBoxView, IconsStandLeftOfTheTextInTheirColours) {
    for (auto [icon, colour] : {std::pair{MessageBoxIcon::Error, Rgb(225, 37, 37)},
                                std::pair{MessageBoxIcon::Exclamation, Rgb(255, 204, 0)}}) {
        MessageBoxView box = Box("Careful.", icon);
        EXPECT_EQ(box.IconBox(), (Rect{16, 16, 48, 48}));
        const std::vector<DrawOp> ops = Painted(box);
        int iconPixels = 0;
        for (const DrawOp& op : ops) {
            if (op.kind == "fill" && op.color == colour) {
                EXPECT_TRUE(box.IconBox().Contains({op.rect.left, op.rect.top}));
                iconPixels += op.rect.Width() * op.rect.Height();
            }
            if (op.kind == "text" && op.text == "Careful.") {
                EXPECT_GE(op.points[0].x, box.IconBox().right);
                // A single line stands level with the icon's middle.
                EXPECT_NEAR(op.points[0].y - 9 + kLineHeight / 2, 32, 1);
            }
        }
        EXPECT_GT(iconPixels, 150);  // of 1024
    }
    // At twice the resolution everything is twice as large.
    EXPECT_EQ(Box("Careful.", MessageBoxIcon::Error, 192).IconBox(), (Rect{32, 32, 96, 96}));
    EXPECT_EQ(Box("Careful.", MessageBoxIcon::Error, 192).Button().Height(), 2 * Box("Careful.").Button().Height());
}

TEST(MessageBoxView, ReturnSpaceEscapeTheCloseButtonAndAClickOnOkCloseIt) {
    for (EventData close : {EventData{KeyPressed{Key::Return}}, EventData{KeyPressed{Key::Space}},
                            EventData{KeyPressed{Key::Escape}}, EventData{CloseAsked{}}}) {
        MessageBoxView box = Box("x");
        box.Handle(Event{&box, close});
        EXPECT_TRUE(box.Closed());
    }
    MessageBoxView box = Box("x");
    const Point ok{box.Button().left + 3, box.Button().top + 3};
    const Point off{box.Button().left - 3, box.Button().top};
    const auto send = [&box](EventData d) { box.Handle(Event{&box, std::move(d)}); };
    send(KeyPressed{Key::Tab});  // the focus stays on the one button
    send(KeyPressed{Key::Up});
    send(ButtonChanged{PointerButton::Left, false, false, ok, Area::Client, {}});  // a release without a press
    send(ButtonChanged{PointerButton::Right, true, false, ok, Area::Client, {}});
    send(ButtonChanged{PointerButton::Right, false, false, ok, Area::Client, {}});
    send(ButtonChanged{PointerButton::Left, true, false, ok, Area::Client, {}});
    send(ButtonChanged{PointerButton::Left, false, false, off, Area::Client, {}});  // let go beside the button
    EXPECT_FALSE(box.Closed());
    send(ButtonChanged{PointerButton::Left, true, false, off, Area::Client, {}});
    send(ButtonChanged{PointerButton::Left, false, false, ok, Area::Client, {}});
    EXPECT_FALSE(box.Closed());
    send(ButtonChanged{PointerButton::Left, true, false, ok, Area::Client, {}});
    send(ButtonChanged{PointerButton::Left, false, false, ok, Area::Client, {}});
    EXPECT_TRUE(box.Closed());
}

struct DrawnBoxes {
    DrawnBoxes() {
        platform.AttachLoop(&loop);
        platform.nativePopups = false;
    }
    headless::HeadlessPlatform platform;
    EventLoop loop{platform};
};

TEST(MessageBoxView, ShownAsADialogCentredWithTheKeyboardAndDrawn) {
    DrawnBoxes f;
    int turns = 0;
    f.platform.whileBoxOpen = [] { FAIL() << "the drawn box is shown, not the system's"; };
    f.platform.whilePopupOpen = [&](HeadlessWindow& w) {
        ++turns;
        EXPECT_EQ(w.desc().title, "Vreko");
        EXPECT_EQ(w.desc().width, 160);
        const Rect at = w.ScreenBounds();
        EXPECT_EQ(at.left + at.right, 1920);
        EXPECT_EQ(at.top + at.bottom, 1080);
        EXPECT_EQ(w.activations, 1);
        EXPECT_TRUE(std::any_of(w.ops.begin(), w.ops.end(), [](const DrawOp& op) { return op.text == "Saved."; }));
        // Tab changes nothing; the next turn Return closes the box.
        f.platform.Inject(Event{&w.handler(), KeyPressed{turns == 1 ? Key::Tab : Key::Return}});
    };
    ShowMessageBox(f.platform, "Saved.", "Vreko", MessageBoxIcon::Plain);
    EXPECT_EQ(turns, 2);
    EXPECT_TRUE(f.platform.popups.empty());
    EXPECT_TRUE(f.platform.boxes.empty());
}

TEST(MessageBoxView, TheProgramRunsOnWhileTheBoxIsOpenAndItsKeysPassTheHookBy) {
    DrawnBoxes f;
    int ticks = 0;
    TickSource ticker(f.loop, 1000, [&] { ++ticks; });
    ticker.Start();
    struct Other : EventHandler {
        void Handle(const Event&) override {}
    } other;
    int hooked = 0, hookedKeys = 0;
    f.loop.SetHook([&](const Event& e, bool&) {
        ++hooked;
        if (e.As<KeyPressed>()) ++hookedKeys;
    });
    int ticksWhileOpen = -1;
    std::int64_t closedAt = 0;
    f.platform.whilePopupOpen = [&](HeadlessWindow& w) {
        ticksWhileOpen = ticks;
        closedAt = f.platform.NowMs();
        f.platform.Inject(Event{&other, PointerLeft{}});  // the rest of the program's input still passes it
        f.platform.Inject(Event{&w.handler(), KeyPressed{Key::Escape}});
    };
    f.loop.Post([&] { ShowMessageBox(f.platform, "Wait.", "Vreko", MessageBoxIcon::Exclamation); });
    f.platform.AdvanceBy(5000);
    EXPECT_EQ(ticksWhileOpen, 5);  // the box opened at once and stayed open five seconds
    EXPECT_EQ(closedAt, 5000);
    EXPECT_EQ(hookedKeys, 0);
    EXPECT_EQ(hooked, 1);
    EXPECT_TRUE(f.platform.popups.empty());
    // After the program's loop has ended a box still serves itself.
    f.platform.AttachLoop(nullptr);
    f.platform.whilePopupOpen = nullptr;
    ShowMessageBox(f.platform, "Bye.", "Vreko", MessageBoxIcon::Plain);
    EXPECT_EQ(f.platform.popupsClosedUntouched, 1);
    EXPECT_TRUE(f.platform.popups.empty());
}

}  // namespace
}  // namespace vreko
