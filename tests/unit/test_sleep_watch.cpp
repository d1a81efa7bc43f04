// Linux: a sleep is told from the clocks, and the hold on sleep is quiet where no bus answers.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/posix/sleep_hold.h"

namespace vreko::posix {
namespace {

TEST(SleepWatch, OnlyTimeSpentAsleepBetweenTwoLooksCounts) {
    SleepWatch w;
    // Boot time runs ahead of monotonic time by the sleeps before the program started.
    EXPECT_FALSE(w.Look(500'000, 100'000));
    EXPECT_FALSE(w.Look(501'000, 101'000));  // a second awake
    // Stopped for 30 s (SIGSTOP), or a slow tick: both clocks move alike.
    EXPECT_FALSE(w.Look(531'000, 131'000));
    // A sleep of an hour between two ticks: monotonic time moved one second, boot time an hour.
    EXPECT_TRUE(w.Look(531'000 + 3'600'000 + 1'000, 132'000));
    // Told once: the next tick is an ordinary one.
    EXPECT_FALSE(w.Look(531'000 + 3'600'000 + 2'000, 133'000));
    // Short sleeps stay below the threshold, also one after the other.
    const std::int64_t gap = 531'000 + 3'600'000 + 2'000 - 133'000;
    std::int64_t mono = 133'000;
    for (int i = 0; i < 5; ++i) {
        mono += 1'000;
        EXPECT_FALSE(w.Look(mono + gap + (i + 1) * SleepWatch::kThresholdMs, mono)) << i;
    }
    mono += 1'000;
    EXPECT_TRUE(w.Look(mono + gap + 5 * SleepWatch::kThresholdMs + SleepWatch::kThresholdMs + 1, mono));
}

TEST(SleepWatch, TheFirstLookOnlyStartsAndTheRunningMachineHasNotSlept) {
    SleepWatch fresh;
    EXPECT_FALSE(fresh.Look(10'000'000, 0));  // however long the machine slept before
    SleepWatch real;
    EXPECT_FALSE(real.Look());
    EXPECT_FALSE(real.Look());
}

TEST(DbusSleepHold, WithoutABusTheHoldIsQuietlyNone) {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vreko-session-bus", 1);
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/vreko-system-bus", 1);
    DbusSleepHold hold;
    hold.Take();
    EXPECT_STREQ(hold.Holder(), "");
    hold.Release();
    hold.Take();
    EXPECT_STREQ(hold.Holder(), "");
}

}  // namespace
}  // namespace vreko::posix
