#include <gtest/gtest.h>

#include "countdown_fixture.h"

namespace vreko::testing {
namespace {

TEST(Countdown, TypicalTwentyMinuteRunLaunchesWarningAndActionOnTheirTicks) {
    CountdownFixture f;
    auto& c = f.controller;
    EXPECT_EQ(f.readout.caption, "OFF");
    EXPECT_EQ(f.readout.color, colors::kYellow);

    c.StepTime(0);
    c.StepTime(0);
    EXPECT_EQ(f.readout.caption, "20");
    EXPECT_EQ(f.readout.color, colors::kLime);

    f.Ticks(10);  // the idle count runs down to 0 but the window stays
    EXPECT_TRUE(f.window.visible);
    f.Ticks(1);  // the 11th idle tick hides it
    EXPECT_FALSE(f.window.visible);
    EXPECT_TRUE(c.tmMain.Enabled());
    EXPECT_FALSE(c.tmUser.Enabled());

    f.Ticks(1);
    EXPECT_EQ(f.readout.caption, "20");  // 1199 s left: whole minutes plus one
    EXPECT_EQ(f.restLabel.text, "19:59");
    f.Ticks(60);
    EXPECT_EQ(f.readout.caption, "19");  // 1139 s left
    EXPECT_EQ(f.readout.color, colors::kLime);

    f.Ticks(1140 - 61);  // tick 1140: 60 s left, nothing launched yet
    EXPECT_EQ(c.RestTime, 60);
    EXPECT_EQ(f.LaunchesOf("warn-cmd"), 0);
    EXPECT_FALSE(f.window.visible);

    f.Ticks(1);  // tick 1141: the window comes back with red seconds and command 1 runs
    EXPECT_EQ(f.LaunchesOf("warn-cmd"), 1);
    EXPECT_EQ(f.platform.launches.back().params, "-w");
    EXPECT_TRUE(f.window.visible);
    EXPECT_TRUE(c.IsWarning);
    EXPECT_EQ(f.readout.caption, "59");
    EXPECT_EQ(f.readout.color, colors::kRed);
    EXPECT_TRUE(c.tmMain.Enabled());
    EXPECT_FALSE(c.tmUser.Enabled());

    f.Ticks(59);  // tick 1200: "OFF" in red for the last second
    EXPECT_EQ(f.readout.caption, "OFF");
    EXPECT_EQ(f.readout.color, colors::kRed);
    EXPECT_FALSE(f.Ended());
    EXPECT_EQ(f.LaunchesOf("act-cmd"), 0);

    f.Ticks(1);  // tick 1201: command 2 and the end
    EXPECT_EQ(f.LaunchesOf("act-cmd"), 1);
    EXPECT_EQ(f.LaunchesOf("warn-cmd"), 1);
    EXPECT_TRUE(f.Ended());
    EXPECT_EQ(c.RestTime, -1);
    f.Ticks(5);  // the loop takes no further tick after the quit request
    EXPECT_EQ(c.RestTime, -1);
    EXPECT_EQ(f.LaunchesOf("act-cmd"), 1);
}

TEST(Countdown, DialWrapsInBothModes) {
    struct Case {
        bool test;
        int ups;
        std::string caption;
    } cases[] = {
        {false, 12, "120"}, {false, 13, "OFF"}, {false, 14, "10"}, {true, 10, "10"}, {true, 11, "OFF"}, {true, 1, "1"},
    };
    for (const auto& k : cases) {
        CountdownFixture f(10, k.test);
        for (int i = 0; i < k.ups; ++i) f.controller.StepTime(0);
        EXPECT_EQ(f.readout.caption, k.caption) << k.test << " " << k.ups;
        EXPECT_EQ(f.controller.RestTime, f.controller.DialTime);
    }
    CountdownFixture normal;
    normal.controller.StepTime(1);  // down from OFF gives the upper limit
    EXPECT_EQ(normal.readout.caption, "120");
    EXPECT_EQ(normal.readout.color, colors::kLime);
    normal.controller.StepTime(0);  // up from 120 wraps to OFF in yellow
    EXPECT_EQ(normal.readout.caption, "OFF");
    EXPECT_EQ(normal.readout.color, colors::kYellow);
    CountdownFixture test(10, true);
    test.controller.StepTime(7);  // any non-zero value steps down
    EXPECT_EQ(test.controller.DialTime, 600);
}

TEST(Countdown, UntouchedProgramEndsOnTheIdleTickAfterThePause) {
    CountdownFixture f(2);
    f.Ticks(2);
    EXPECT_FALSE(f.Ended());
    EXPECT_EQ(f.idleLabel.text, "0");
    f.Ticks(1);
    EXPECT_TRUE(f.Ended());
    EXPECT_EQ(f.window.hides, 0);

    CountdownFixture zero(0);  // a pause of 0 acts on the first idle tick
    zero.Ticks(1);
    EXPECT_TRUE(zero.Ended());

    CountdownFixture never(-1);  // a negative pause never hides by itself
    never.controller.StepTime(0);
    never.Ticks(30);
    EXPECT_TRUE(never.window.visible);
    EXPECT_EQ(never.idleLabel.text, "-31");
}

TEST(Countdown, DialledDownToOffThenLeftAloneEnds) {
    CountdownFixture f(3);
    f.controller.StepTime(0);
    f.controller.StepTime(1);
    EXPECT_EQ(f.readout.caption, "OFF");
    f.Ticks(4);
    EXPECT_TRUE(f.Ended());
}

TEST(Countdown, EscapeClosesWhenOffAndHidesAtOnceWhenDialled) {
    CountdownFixture off;
    off.controller.HideOrClose();
    EXPECT_TRUE(off.Ended());
    EXPECT_EQ(off.window.closes, 1);

    CountdownFixture f;
    f.controller.StepTime(0);
    f.Ticks(3);
    f.controller.HideOrClose();
    EXPECT_FALSE(f.Ended());
    EXPECT_FALSE(f.window.visible);
    EXPECT_TRUE(f.controller.IsHidden);
    EXPECT_TRUE(f.controller.tmMain.Enabled());
    EXPECT_FALSE(f.controller.tmUser.Enabled());
    EXPECT_EQ(f.controller.IdleCount, 10);
}

TEST(Countdown, ActivationPausesAndTheNextHideResumesWhereItStopped) {
    CountdownFixture f(2);
    auto& c = f.controller;
    c.StepTime(0);
    c.StepTime(0);
    c.HideOrClose();
    f.Ticks(100);  // 1100 s left
    c.ShowAndPause();
    EXPECT_TRUE(f.window.visible);
    EXPECT_FALSE(c.IsHidden);
    EXPECT_TRUE(c.tmUser.Enabled());
    EXPECT_FALSE(c.tmMain.Enabled());
    EXPECT_EQ(f.readout.caption, "19");  // as the last countdown tick formatted it
    EXPECT_EQ(f.readout.color, colors::kLime);
    f.Ticks(50);                     // paused: a little over the idle pause would hide, so use input
    EXPECT_FALSE(f.window.visible);  // hidden again after 3 idle ticks
    EXPECT_EQ(c.RestTime, 1100 - 47);
    f.Ticks(1100 - 47 - 60);  // back to 60 s left, still counting hidden
    EXPECT_EQ(f.LaunchesOf("warn-cmd"), 0);
    f.Ticks(1);
    EXPECT_EQ(f.LaunchesOf("warn-cmd"), 1);
    EXPECT_TRUE(f.window.visible);
}

TEST(Countdown, DialStepDuringWarningCancelsTheCountdown) {
    for (int down : {0, 1}) {
        CountdownFixture f(2);
        auto& c = f.controller;
        c.StepTime(0);
        c.StepTime(0);
        c.HideOrClose();
        f.Ticks(1141 + 29);  // warning, 30 s left
        ASSERT_TRUE(c.IsWarning);
        c.StepTime(down);
        EXPECT_EQ(c.DialTime, down ? 600 : 1800);
        EXPECT_EQ(c.RestTime, c.DialTime);
        EXPECT_FALSE(c.IsWarning);
        EXPECT_TRUE(c.tmUser.Enabled());
        EXPECT_FALSE(c.tmMain.Enabled());
        EXPECT_EQ(f.readout.caption, down ? "10" : "30");
        EXPECT_EQ(f.readout.color, colors::kLime);
        f.Ticks(3);  // idle expiry hides again and a fresh count starts
        EXPECT_FALSE(f.window.visible);
        f.Ticks(int(c.DialTime) + 1);
        EXPECT_EQ(f.LaunchesOf("act-cmd"), 1);
        EXPECT_EQ(f.LaunchesOf("warn-cmd"), 2);
        EXPECT_TRUE(f.Ended());
    }
}

TEST(Countdown, EscapeDuringWarningWaitsExceptInTheLastSecond) {
    CountdownFixture f;
    auto& c = f.controller;
    c.StepTime(0);
    c.HideOrClose();
    f.Ticks(541 + 10);  // 49 s left
    c.HideOrClose();
    EXPECT_FALSE(f.Ended());
    EXPECT_TRUE(f.window.visible);
    EXPECT_TRUE(c.tmMain.Enabled());
    f.Ticks(49);  // "OFF" in red
    EXPECT_EQ(f.readout.caption, "OFF");
    c.HideOrClose();
    EXPECT_TRUE(f.Ended());
    f.Ticks(2);
    EXPECT_EQ(f.LaunchesOf("act-cmd"), 0);
}

TEST(Countdown, ActivationDuringWarningChangesNothing) {
    CountdownFixture f;
    auto& c = f.controller;
    c.StepTime(0);
    c.HideOrClose();
    f.Ticks(541 + 5);
    c.ShowAndPause();
    EXPECT_TRUE(c.tmMain.Enabled());
    EXPECT_FALSE(c.tmUser.Enabled());
    EXPECT_EQ(c.RestTime, 54);
    f.Ticks(55);
    EXPECT_TRUE(f.Ended());
    EXPECT_EQ(f.LaunchesOf("act-cmd"), 1);
}

TEST(Countdown, ActivationWithExactlySixtyLeftKeepsCounting) {
    CountdownFixture f;
    auto& c = f.controller;
    c.StepTime(0);
    c.HideOrClose();
    f.Ticks(540);
    ASSERT_EQ(c.RestTime, 60);
    c.ShowAndPause();
    EXPECT_TRUE(f.window.visible);
    EXPECT_TRUE(c.tmMain.Enabled());
    EXPECT_FALSE(c.tmUser.Enabled());
    f.Ticks(1);
    EXPECT_TRUE(c.IsWarning);
    EXPECT_EQ(f.LaunchesOf("warn-cmd"), 1);
}

TEST(Countdown, OneMinuteTestDialWarnsOnTheFirstCountdownTick) {
    CountdownFixture f(10, true);
    f.controller.StepTime(0);
    EXPECT_EQ(f.readout.caption, "1");
    f.controller.HideOrClose();
    EXPECT_FALSE(f.window.visible);
    f.Ticks(1);
    EXPECT_TRUE(f.window.visible);
    EXPECT_EQ(f.LaunchesOf("warn-cmd"), 1);
    EXPECT_EQ(f.readout.caption, "59");
    f.Ticks(60);
    EXPECT_TRUE(f.Ended());
    EXPECT_EQ(f.LaunchesOf("act-cmd"), 1);
}

// The warning's command cannot be started: its box opens, and the count keeps its time behind
// it, whether the box is closed after a while or never touched.
struct FailedWarning : CountdownFixture {
    FailedWarning() : CountdownFixture(10, true) {
        platform.shellResult = [](const std::string& file) {
            return file == "warn-cmd" ? LaunchOutcome::NotStarted : LaunchOutcome::Started;
        };
        controller.StepTime(0);
        controller.HideOrClose();
    }
    std::int64_t LaunchTime(const std::string& file) const {
        for (auto& l : platform.launches)
            if (l.file == file) return l.at;
        return -1;
    }
};

TEST(Countdown, FailedWarningBoxNeverClosedStillEndsWithTheActionOnTime) {
    FailedWarning f;
    std::string seenAfter30s;
    Color colourAfter30s = 0;
    f.platform.whileBoxOpen = [&] {
        // Nobody is there: the box stays open while the count runs to its end.
        f.platform.AdvanceBy(30000);
        seenAfter30s = f.readout.caption;
        colourAfter30s = f.readout.color;
        f.platform.AdvanceBy(10 * 60 * 1000);
    };
    f.Ticks(1);  // the warning's tick, which opens the box
    ASSERT_EQ(f.platform.boxes.size(), 1u);
    EXPECT_EQ(f.platform.boxes[0].caption, "Vreko");
    EXPECT_EQ(f.platform.boxes[0].text, kLaunchFailureText);
    EXPECT_EQ(f.platform.boxes[0].icon, MessageBoxIcon::Plain);
    EXPECT_EQ(seenAfter30s, "29");  // the red seconds go on behind the box
    EXPECT_EQ(colourAfter30s, colors::kRed);
    EXPECT_TRUE(f.Ended());
    EXPECT_EQ(f.LaunchesOf("warn-cmd"), 1);
    EXPECT_EQ(f.LaunchesOf("act-cmd"), 1);
    const std::int64_t warning = f.LaunchTime("warn-cmd");
    EXPECT_EQ(f.platform.boxes[0].at, warning);
    EXPECT_NEAR(double(f.LaunchTime("act-cmd") - warning), 60000.0, 1000.0);
    EXPECT_EQ(f.platform.boxes.size(), 1u);
}

TEST(Countdown, FailedWarningBoxClosedLaterNeitherJumpsNorRepeats) {
    FailedWarning f;
    std::int32_t restWhenClosed = 0;
    f.platform.whileBoxOpen = [&] {
        f.platform.AdvanceBy(20000);  // the user reads the message for twenty seconds
        restWhenClosed = f.controller.RestTime;
    };
    f.Ticks(1);
    EXPECT_EQ(restWhenClosed, 39);
    EXPECT_EQ(f.controller.RestTime, 39);  // closing the box does not step the count again
    EXPECT_EQ(f.readout.caption, "39");
    f.Ticks(1);
    EXPECT_EQ(f.controller.RestTime, 38);
    f.Ticks(60);
    EXPECT_TRUE(f.Ended());
    EXPECT_EQ(f.LaunchesOf("warn-cmd"), 1);
    EXPECT_EQ(f.LaunchesOf("act-cmd"), 1);
    EXPECT_EQ(f.platform.boxes.size(), 1u);
    EXPECT_NEAR(double(f.LaunchTime("act-cmd") - f.LaunchTime("warn-cmd")), 60000.0, 1000.0);
}

TEST(Countdown, FailedActionUnderTheWarningsBoxShowsItsOwnAndEndsWhenItCloses) {
    FailedWarning f;
    f.platform.shellResult = [](const std::string&) { return LaunchOutcome::NotStarted; };
    std::int64_t actionBoxClosed = -1;
    f.platform.whileBoxOpen = [&] {
        if (f.platform.boxes.size() == 2) {
            // The action's box: its tick waits for it, the later ones are dropped.
            f.platform.AdvanceBy(5000);
            EXPECT_FALSE(f.Ended());
            EXPECT_EQ(f.controller.RestTime, 0);
            actionBoxClosed = f.platform.NowMs();
            return;
        }
        f.platform.AdvanceBy(10 * 60 * 1000);
    };
    f.Ticks(1);
    ASSERT_EQ(f.platform.boxes.size(), 2u);
    EXPECT_TRUE(f.Ended());
    EXPECT_EQ(f.LaunchesOf("act-cmd"), 1);
    EXPECT_EQ(f.platform.boxes[1].at, f.LaunchTime("act-cmd"));
    EXPECT_NEAR(double(f.LaunchTime("act-cmd") - f.LaunchTime("warn-cmd")), 60000.0, 1000.0);
    EXPECT_GE(actionBoxClosed, f.LaunchTime("act-cmd") + 5000);
}

TEST(Countdown, FailedActionStillEndsAfterTheBoxAndLaunchesOnce) {
    CountdownFixture f(10, true);
    f.platform.shellResult = [](const std::string& file) {
        return file == "act-cmd" ? LaunchOutcome::NotStarted : LaunchOutcome::Started;
    };
    f.platform.whileBoxOpen = [&] { f.platform.AdvanceBy(5000); };
    f.controller.StepTime(0);
    f.controller.HideOrClose();
    f.Ticks(61);
    EXPECT_EQ(f.platform.boxes.size(), 1u);
    EXPECT_EQ(f.LaunchesOf("act-cmd"), 1);
    EXPECT_TRUE(f.Ended());
}

TEST(Countdown, ATestLaunchsBoxKeepsTheCountsTime) {
    CountdownFixture f(10, true);
    f.controller.StepTime(0);
    f.controller.StepTime(0);
    f.controller.HideOrClose();
    f.Ticks(61);  // the warning, with 59 seconds left
    ASSERT_EQ(f.controller.RestTime, 59);
    f.platform.shellResult = [](const std::string&) { return LaunchOutcome::NotStarted; };
    f.platform.whileBoxOpen = [&] { f.platform.AdvanceBy(5000); };
    f.launcher.StartCommand(2);  // as the context menu's test item does
    EXPECT_EQ(f.platform.boxes.size(), 1u);
    EXPECT_EQ(f.controller.RestTime, 54);
    EXPECT_FALSE(f.Ended());
}

TEST(Countdown, EmptyProgramPathsLaunchNothingAndShowNothing) {
    CountdownFixture f(10, true);
    f.launcher.commands() = {"", "-w", "", "-a"};
    f.controller.StepTime(0);
    f.controller.HideOrClose();
    f.Ticks(1);
    EXPECT_TRUE(f.window.visible);  // the warning still brings the window back
    EXPECT_EQ(f.readout.color, colors::kRed);
    f.Ticks(60);
    EXPECT_TRUE(f.Ended());
    EXPECT_TRUE(f.platform.launches.empty());
    EXPECT_TRUE(f.platform.boxes.empty());
}

}  // namespace
}  // namespace vreko::testing
