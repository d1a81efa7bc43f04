// The program's own popup menu on the in-memory backend: its layout, choices by keys and by
// pointer, dismissal, and how the main window's context menu uses it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/popup_menu_view.h"
#include "controls/popups.h"
#include "form_fixture.h"

namespace vreko {
namespace {

using headless::DrawOp;
using headless::HeadlessWindow;
using headless::RecordingPainter;
using testing::FormFixture;
using testing::Ini;

const std::vector<std::string> kItems{"First", "Second item", "Third"};

PopupMenuView Menu(const std::vector<std::string>& items = kItems) {
    std::vector<DrawOp> none;
    RecordingPainter measure(none, {});
    return PopupMenuView(measure, 96, items);
}

void Send(PopupMenuView& menu, EventData d) { menu.Handle(Event{&menu, std::move(d)}); }
Point Inside(const Rect& r) { return {r.left + r.Width() / 2, r.top + r.Height() / 2}; }

TEST(PopupMenuView, OneBarPerItemInAFrameWideEnoughForTheLongest) {
    PopupMenuView menu = Menu();
    EXPECT_EQ(menu.Height(), 2 * 3 + 3 * 22);
    EXPECT_EQ(menu.Width(), 2 * 3 + 20 + 11 * 6 + 24);
    EXPECT_EQ(menu.ItemRect(1), (Rect{3, 25, menu.Width() - 3, 47}));
    EXPECT_EQ(Menu({"a"}).Width(), 100);
    // The highlighted bar is drawn navy with white text, the others black on grey.
    Send(menu, KeyPressed{Key::Down});
    std::vector<DrawOp> ops;
    RecordingPainter p(ops, {0, 0, menu.Width(), menu.Height()});
    menu.Paint(p);
    int navyBars = 0;
    for (const DrawOp& op : ops) {
        if (op.kind == "fill" && op.color == Rgb(0, 0, 128)) {
            ++navyBars;
            EXPECT_EQ(op.rect, menu.ItemRect(0));
        }
        if (op.kind == "text") {
            EXPECT_EQ(op.color, op.text == "First" ? colors::kWhite : colors::kBlack);
        }
    }
    EXPECT_EQ(navyBars, 1);
}

TEST(PopupMenuView, KeysStepRoundTheItemsAndChooseTheHighlightedOne) {
    PopupMenuView menu = Menu();
    Send(menu, KeyPressed{Key::Return});  // nothing highlighted: nothing chosen
    EXPECT_FALSE(menu.Done());
    Send(menu, KeyPressed{Key::Up});  // from none, Up starts at the last
    EXPECT_EQ(menu.Selected(), 2);
    Send(menu, KeyPressed{Key::Down});  // and Down goes round to the first
    EXPECT_EQ(menu.Selected(), 0);
    Send(menu, KeyPressed{Key::Down});
    Send(menu, KeyPressed{Key::Left});
    Send(menu, KeyPressed{Key::Other});
    EXPECT_FALSE(menu.Done());
    Send(menu, KeyPressed{Key::Return});
    EXPECT_TRUE(menu.Done());
    EXPECT_EQ(menu.Choice(), 1);
    Send(menu, KeyPressed{Key::Down});  // a closed menu takes nothing more
    Send(menu, KeyPressed{Key::Return});
    EXPECT_EQ(menu.Choice(), 1);

    PopupMenuView bySpace = Menu();
    Send(bySpace, KeyPressed{Key::Down});
    Send(bySpace, KeyPressed{Key::Space});
    EXPECT_EQ(bySpace.Choice(), 0);
}

TEST(PopupMenuView, ThePointerHighlightsAndAReleaseOnAnItemChoosesIt) {
    PopupMenuView menu = Menu();
    Send(menu, PointerMoved{Inside(menu.ItemRect(2)), Area::Client, {}});
    EXPECT_EQ(menu.Selected(), 2);
    Send(menu, PointerMoved{{1, 1}, Area::Client, {}});  // on the frame: no item
    EXPECT_EQ(menu.Selected(), PopupMenuView::kNoItem);
    Send(menu, WheelTurned{1});
    Send(menu, ButtonChanged{PointerButton::Left, true, false, {1, 1}, Area::Client, {}});
    Send(menu, ButtonChanged{PointerButton::Left, false, false, {1, 1}, Area::Client, {}});
    EXPECT_FALSE(menu.Done());  // a click on the frame closes nothing
    Send(menu, ButtonChanged{PointerButton::Right, true, false, Inside(menu.ItemRect(1)), Area::Client, {}});
    EXPECT_EQ(menu.Selected(), 1);
    Send(menu, ButtonChanged{PointerButton::Right, false, false, Inside(menu.ItemRect(1)), Area::Client, {}});
    EXPECT_TRUE(menu.Done());
    EXPECT_EQ(menu.Choice(), 1);
}

TEST(PopupMenuView, APressOutsideEscapeOrLosingThePointerChooseNothing) {
    for (EventData away : {EventData{ButtonChanged{PointerButton::Left, true, false, {-5, 10}, Area::Client, {}}},
                           EventData{ButtonChanged{PointerButton::Middle, true, false, {10, 500}, Area::Client, {}}},
                           EventData{KeyPressed{Key::Escape}}, EventData{GrabLost{}}, EventData{CloseAsked{}}}) {
        PopupMenuView menu = Menu();
        Send(menu, KeyPressed{Key::Down});
        Send(menu, away);
        EXPECT_TRUE(menu.Done());
        EXPECT_EQ(menu.Choice(), PopupMenuView::kNoItem);
    }
}

TEST(PopupMenuView, OpensAtTheOwnersPointHoldingThePointerAndGoesWhenChosen) {
    headless::HeadlessPlatform platform;
    EventLoop loop(platform);
    platform.AttachLoop(&loop);
    platform.nativePopups = false;
    struct Owner : WindowHandler {
        void Handle(const Event&) override {}
    } owner;
    WindowDesc desc;
    desc.width = 400;
    desc.height = 150;
    desc.placement = {false, {300, 200}};
    std::unique_ptr<Window> main = platform.CreateMainWindow(owner, desc);
    main->Show(true);
    platform.whilePopupOpen = [&](HeadlessWindow& w) {
        EXPECT_EQ(w.ScreenBounds().left, 340);
        EXPECT_EQ(w.ScreenBounds().top, 260);
        EXPECT_TRUE(w.captured);
        EXPECT_EQ(w.activations, 0);  // the owner keeps the focus
        auto& menu = static_cast<PopupMenuView&>(w.handler());
        platform.Inject(
            Event{&menu, ButtonChanged{PointerButton::Left, false, false, Inside(menu.ItemRect(2)), Area::Client, {}}});
    };
    EXPECT_EQ(PopupMenu(platform, *main, kItems, {40, 60}), 2);
    EXPECT_TRUE(platform.popups.empty());
    EXPECT_TRUE(platform.lastMenu.empty());  // the system's menu was not asked
    EXPECT_EQ(PopupMenu(platform, *main, {}, {40, 60}), -1);
    EXPECT_TRUE(platform.popups.empty());
}

TEST(PopupMenuView, TheContextMenusKeysNeitherDialNorHideTheWindow) {
    FormFixture f(Ini("10", "0"));
    f.platform.nativePopups = false;
    f.Start();
    f.Key(Key::Up);
    const int dialled = f.form->controller.DialTime;
    f.platform.whilePopupOpen = [&](HeadlessWindow& w) {
        for (Key k : {Key::Down, Key::Up, Key::Down, Key::Down, Key::Return})
            f.platform.Inject(Event{&w.handler(), KeyPressed{k}});
    };
    f.Press(200, 80, PointerButton::Right);
    f.Release(200, 80, PointerButton::Right);
    ASSERT_EQ(f.platform.launches.size(), 1u);
    EXPECT_EQ(f.platform.launches[0].file, "act");
    f.platform.whilePopupOpen = [&](HeadlessWindow& w) {
        f.platform.Inject(Event{&w.handler(), KeyPressed{Key::Escape}});
    };
    f.Key(Key::Menu);
    EXPECT_EQ(f.platform.launches.size(), 1u);
    EXPECT_EQ(f.form->controller.DialTime, dialled);
    EXPECT_TRUE(f.window().Visible());  // the menu's Escape closed the menu alone
    EXPECT_FALSE(f.Ended());
}

TEST(PopupMenuView, AfterADrawnSettingsBoxTheIdlePauseStartsAfresh) {
    FormFixture f(Ini("10", "0", "warn", "act", "0", "0", "abc"));
    f.platform.nativePopups = false;
    f.platform.whilePopupOpen = [&](HeadlessWindow& w) {
        f.platform.SetActive(true);
        f.Key(Key::Up);  // the window takes no input under the box
        f.platform.AdvanceBy(30000);
        f.platform.Inject(Event{&w.handler(), KeyPressed{Key::Return}});
    };
    f.Start();
    EXPECT_TRUE(f.platform.boxes.empty());
    EXPECT_TRUE(f.platform.popups.empty());
    EXPECT_EQ(f.form->controller.TimePause, 10);
    EXPECT_EQ(f.form->controller.DialTime, 0);
    f.Ticks(10);
    EXPECT_FALSE(f.Ended());
    EXPECT_TRUE(f.window().Visible());
    f.Ticks(1);  // the eleventh idle tick after the box closed
    EXPECT_TRUE(f.Ended());
}

}  // namespace
}  // namespace vreko
