#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/headless/headless.h"

namespace vreko {
namespace {

struct LoopFixture {
    LoopFixture() { platform.AttachLoop(&loop); }
    headless::HeadlessPlatform platform;
    EventLoop loop{platform};
};

TEST(EventLoop, StartingAStoppedSourceBeginsAFreshPeriod) {
    LoopFixture f;
    std::vector<std::int64_t> at;
    TickSource t(f.loop, 1000, [&] { at.push_back(f.platform.NowMs()); });
    f.platform.AdvanceBy(500);
    t.Start();
    f.platform.AdvanceBy(2000);
    EXPECT_EQ(at, (std::vector<std::int64_t>{1500, 2500}));
    f.platform.AdvanceBy(300);
    t.Stop();
    t.Start();
    EXPECT_EQ(f.loop.NextDeadline(), 3800);
}

TEST(EventLoop, StartingARunningSourceKeepsItsPeriod) {
    LoopFixture f;
    int ticks = 0;
    TickSource t(f.loop, 1000, [&] { ++ticks; });
    t.Start();
    f.platform.AdvanceBy(700);
    t.Start();  // no restart
    f.platform.AdvanceBy(300);
    EXPECT_EQ(ticks, 1);
    t.Stop();
    t.Stop();
    f.platform.AdvanceBy(5000);
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(t.Enabled());
}

TEST(EventLoop, OverdueTickIsDeliveredOnceAndTheScheduleStaysOnItsGrid) {
    LoopFixture f;
    std::vector<std::int64_t> at;
    TickSource t(f.loop, 1000, [&] {
        at.push_back(f.platform.NowMs());
        if (at.size() == 1) f.platform.Stall(3500);  // a handler that keeps the loop busy
    });
    t.Start();
    f.platform.AdvanceBy(6000);
    EXPECT_EQ(at, (std::vector<std::int64_t>{1000, 4500, 5000, 6000}));
}

TEST(EventLoop, HookSeesEveryEventBeforeItsTargetAndQuitStopsFurtherTicks) {
    LoopFixture f;
    std::vector<std::string> seen;
    struct Target : EventHandler {
        std::vector<std::string>& seen;
        explicit Target(std::vector<std::string>& s) : seen(s) {}
        void Handle(const Event& e) override { seen.push_back(e.As<KeyPressed>() ? "target key" : "target other"); }
    } target{seen};
    f.loop.SetHook([&](const Event& e, bool& handled) {
        seen.push_back(e.As<KeyPressed>() ? "hook key" : "hook other");
        handled = true;  // the hook never stops an event
    });
    int ticks = 0;
    TickSource t(f.loop, 1000, [&] {
        ++ticks;
        f.loop.PostQuit();
    });
    t.Start();
    f.platform.Inject(Event{&target, KeyPressed{Key::Up, false, false}});
    f.platform.AdvanceBy(3000);
    EXPECT_EQ(ticks, 1);
    // Timer ticks run their handlers directly: the hook does not see them.
    EXPECT_EQ(seen, (std::vector<std::string>{"hook key", "target key"}));
}

TEST(EventLoop, NoticesRunInTheOrderPostedBeforeTheBackendsEvents) {
    LoopFixture f;
    std::vector<std::string> order;
    struct Target : EventHandler {
        std::vector<std::string>& order;
        explicit Target(std::vector<std::string>& o) : order(o) {}
        void Handle(const Event&) override { order.push_back("event"); }
    } target{order};
    f.platform.Inject(Event{&target, CloseAsked{}});
    f.loop.Post([&] {
        order.push_back("first");
        f.loop.Post([&] { order.push_back("posted by the first"); });
    });
    f.loop.Post([&] { order.push_back("second"); });
    f.platform.Drain();
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "posted by the first", "event"}));
}

TEST(EventLoop, OnlyALeftPressBeingDispatchedMayStartAMove) {
    LoopFixture f;
    std::vector<bool> answers;
    struct Target : EventHandler {
        EventLoop& loop;
        std::vector<bool>& answers;
        Target(EventLoop& l, std::vector<bool>& a) : loop(l), answers(a) {}
        void Handle(const Event&) override { answers.push_back(DispatchingLeftPress(&loop, *this)); }
    } target{f.loop, answers}, other{f.loop, answers};
    EXPECT_FALSE(DispatchingLeftPress(&f.loop, target));  // nothing is being dispatched
    f.platform.Inject(Event{&target, ButtonChanged{PointerButton::Left, true, false, {}, Area::Client, {}}});
    f.platform.Inject(Event{&target, ButtonChanged{PointerButton::Left, true, true, {}, Area::Client, {}}});
    f.platform.Inject(Event{&target, ButtonChanged{PointerButton::Left, false, false, {}, Area::Client, {}}});
    f.platform.Inject(Event{&target, ButtonChanged{PointerButton::Right, true, false, {}, Area::Client, {}}});
    f.platform.Inject(Event{&target, PointerMoved{}});
    f.platform.Drain();
    EXPECT_EQ(answers, (std::vector<bool>{true, true, false, false, false}));
    // A press dispatched to another window starts no move of this one.
    f.loop.SetHook([&](const Event&, bool&) { answers.push_back(DispatchingLeftPress(&f.loop, other)); });
    f.platform.Inject(Event{&target, ButtonChanged{PointerButton::Left, true, false, {}, Area::Client, {}}});
    f.platform.Drain();
    EXPECT_EQ(answers.size(), 7u);
    EXPECT_FALSE(answers[5]);
    EXPECT_TRUE(answers[6]);
}

TEST(HeadlessPopup, AMenuOpensAtItsOwnersPointAndPaintsUntilItGoes) {
    LoopFixture f;
    struct Painted : WindowHandler {
        std::vector<Rect> areas;
        void Handle(const Event& e) override {
            if (const NeedsPaint* p = e.As<NeedsPaint>()) areas.push_back(p->area);
        }
    } owner, menu;
    WindowDesc desc;
    desc.width = 100;
    desc.height = 50;
    desc.placement = {false, {300, 200}};
    std::unique_ptr<Window> main = f.platform.CreateMainWindow(owner, desc);
    PopupDesc popup;
    popup.kind = PopupDesc::Kind::Menu;
    popup.width = 40;
    popup.height = 30;
    popup.owner = main.get();
    popup.at = {10, 20};
    std::unique_ptr<Window> w = f.platform.CreatePopup(menu, popup);
    ASSERT_EQ(f.platform.popups.size(), 1u);
    EXPECT_EQ(f.platform.popups[0]->ScreenBounds(), (Rect{310, 220, 350, 250}));
    w->Show(true);
    f.platform.Drain();
    EXPECT_EQ(menu.areas, (std::vector<Rect>{{0, 0, 40, 30}}));
    EXPECT_TRUE(owner.areas.empty());  // the owner was never shown
    w.reset();
    EXPECT_TRUE(f.platform.popups.empty());
    main->Show(false);
    f.platform.Drain();  // the gone menu's window is not asked for anything
    EXPECT_EQ(owner.areas.size(), 1u);
}

}  // namespace
}  // namespace vreko
