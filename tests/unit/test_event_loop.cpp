#include <gtest/gtest.h>

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

TEST(EventLoop, HookSeesEveryMessageBeforeDispatchAndQuitStopsFurtherTicks) {
    LoopFixture f;
    std::vector<std::uint32_t> seen;
    f.loop.SetHook([&](const Message& m, bool&) { seen.push_back(m.message); });
    int ticks = 0;
    TickSource t(f.loop, 1000, [&] {
        ++ticks;
        f.loop.PostQuit();
    });
    t.Start();
    Message key;
    key.message = msg::kKeyDown;
    f.platform.Inject(key);
    f.platform.AdvanceBy(3000);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{msg::kKeyDown, msg::kTimer}));
}

}  // namespace
}  // namespace vreko
