// The countdown and the machine's sleep: the hold on automatic sleep while a count is pending,
// and what a wake-up shows.
#include <gtest/gtest.h>

#include "countdown_fixture.h"
#include "form_fixture.h"

namespace vreko::testing {
namespace {

using Change = headless::RecordingSleepHold::Change;

// Dials minutes (normal mode) and hides at once, as Escape does.
void StartCount(CountdownFixture& f, int minutes) {
    for (int i = 0; i < minutes / 10; ++i) f.controller.StepTime(0);
    f.controller.HideOrClose();
}

std::string Changes(const headless::RecordingSleepHold& hold) {
    std::string s;
    for (const Change& c : hold.changes) s += (c.taken ? "take@" : "release@") + std::to_string(c.launchesBefore) + " ";
    return s;
}

TEST(SleepHold, TakenAtTheHideKeptWhilePausedAndLetGoJustBeforeTheAction) {
    CountdownFixture f(2);
    auto& hold = f.platform.sleepHold;
    f.controller.StepTime(0);
    f.Ticks(2);
    EXPECT_FALSE(hold.held);  // dialled, not yet counting
    f.Ticks(1);               // the idle hide starts the count
    ASSERT_FALSE(f.window.visible);
    EXPECT_TRUE(hold.held);
    f.Ticks(100);
    f.controller.ShowAndPause();  // a second start pauses the count: it is still pending
    EXPECT_TRUE(hold.held);
    f.Ticks(3);  // hidden again, counting on
    ASSERT_FALSE(f.window.visible);
    f.Ticks(500 - 60 + 1);  // the warning: command 1 runs under the hold
    ASSERT_EQ(f.LaunchesOf("warn-cmd"), 1);
    EXPECT_TRUE(hold.held);
    f.Ticks(60);
    EXPECT_EQ(f.LaunchesOf("act-cmd"), 1);
    EXPECT_TRUE(f.Ended());
    EXPECT_FALSE(hold.held);
    // Taken once, let go after command 1 and before command 2.
    EXPECT_EQ(Changes(hold), "take@0 release@1 ");
}

TEST(SleepHold, LetGoWhenADialStepDropsTheCountAndTakenAgainAtTheNextHide) {
    CountdownFixture f(2);
    auto& hold = f.platform.sleepHold;
    StartCount(f, 20);
    f.Ticks(10);
    f.controller.ShowAndPause();
    f.controller.StepTime(0);  // paused: the count is dropped for a new dial
    EXPECT_FALSE(hold.held);
    f.Ticks(3);  // the idle hide starts the new count
    EXPECT_TRUE(hold.held);
    f.Ticks(1800 - 59);  // into the warning
    ASSERT_TRUE(f.controller.IsWarning);
    f.controller.StepTime(1);  // dialling in the last minute cancels
    EXPECT_FALSE(hold.held);
    EXPECT_EQ(Changes(hold), "take@0 release@0 take@0 release@1 ");
    f.Ticks(1);
    f.controller.StepTime(1);
    f.controller.StepTime(1);  // down to OFF: left alone, the program ends without a hold
    f.Ticks(3);
    EXPECT_TRUE(f.Ended());
    EXPECT_EQ(hold.changes.size(), 4u);
}

TEST(SleepHold, LetGoWhenTheProgramEndsInAnyOtherWay) {
    // Escape in the last second ends the program without the action.
    CountdownFixture f;
    StartCount(f, 10);
    f.Ticks(600);
    ASSERT_EQ(f.readout.caption, "OFF");
    ASSERT_TRUE(f.platform.sleepHold.held);
    f.controller.HideOrClose();
    EXPECT_TRUE(f.Ended());
    EXPECT_FALSE(f.platform.sleepHold.held);
    EXPECT_EQ(f.LaunchesOf("act-cmd"), 0);

    // The window closed by the window system while the count is pending.
    FormFixture g(Ini("10", "1"));
    g.Start();
    g.Key(Key::Up);
    g.Key(Key::Escape);
    ASSERT_FALSE(g.window().Visible());
    ASSERT_TRUE(g.platform.sleepHold.held);
    g.Send(CloseAsked{});
    ASSERT_TRUE(g.Ended());
    g.form.reset();
    EXPECT_FALSE(g.platform.sleepHold.held);
    EXPECT_TRUE(g.platform.launches.empty());
}

TEST(SleepWake, FiftyMinutesLeftComesForwardPausedUntilTheWindowHidesAgain) {
    CountdownFixture f(5);
    auto& c = f.controller;
    StartCount(f, 60);
    f.Ticks(600);  // 50 minutes left
    ASSERT_FALSE(f.window.visible);
    f.platform.Wake();
    EXPECT_TRUE(f.window.visible);
    EXPECT_FALSE(c.IsHidden);
    EXPECT_TRUE(c.tmUser.Enabled());
    EXPECT_FALSE(c.tmMain.Enabled());
    EXPECT_EQ(f.readout.caption, "51");  // as the last hidden tick formatted it
    EXPECT_EQ(f.readout.color, colors::kLime);
    EXPECT_TRUE(f.platform.sleepHold.held);
    f.Ticks(5);  // paused while the user looks
    EXPECT_EQ(c.RestTime, 3000);
    EXPECT_TRUE(f.window.visible);
    f.Ticks(1);  // the idle pause is over: hidden, counting on from where it stopped
    EXPECT_FALSE(f.window.visible);
    f.Ticks(10);
    EXPECT_EQ(c.RestTime, 2990);
    EXPECT_TRUE(f.platform.launches.empty());
}

TEST(SleepWake, OneMinuteLeftWarnsOnTheNextTickAndTheActionComesAWholeMinuteLater) {
    CountdownFixture f;
    StartCount(f, 10);
    f.Ticks(540);  // 60 s left, still hidden: command 1 has not run yet
    ASSERT_FALSE(f.window.visible);
    ASSERT_EQ(f.controller.RestTime, 60);
    f.platform.Wake();
    EXPECT_TRUE(f.window.visible);
    f.Ticks(1);
    EXPECT_EQ(f.LaunchesOf("warn-cmd"), 1);
    EXPECT_EQ(f.readout.caption, "59");
    EXPECT_EQ(f.readout.color, colors::kRed);
    f.Ticks(59);
    EXPECT_EQ(f.LaunchesOf("act-cmd"), 0);  // a whole minute and more after the wake-up
    f.Ticks(1);
    EXPECT_EQ(f.LaunchesOf("act-cmd"), 1);
    EXPECT_EQ(f.LaunchesOf("warn-cmd"), 1);

    // Woken with a minute left of a warning already shown (it came 0.3 s before the sleep).
    CountdownFixture g;
    StartCount(g, 10);
    g.Ticks(541);
    ASSERT_EQ(g.controller.RestTime, 59);
    g.platform.AdvanceBy(700);
    g.platform.Wake();
    g.platform.AdvanceBy(999);  // a fresh second from the wake-up
    EXPECT_EQ(g.controller.RestTime, 59);
    g.Ticks(59);
    EXPECT_EQ(g.readout.caption, "OFF");
    EXPECT_EQ(g.LaunchesOf("act-cmd"), 0);
    g.Ticks(1);
    EXPECT_EQ(g.LaunchesOf("act-cmd"), 1);
    EXPECT_EQ(g.LaunchesOf("warn-cmd"), 1);
}

TEST(SleepWake, HalfAMinuteLeftStartsTheWarningAgainWithoutLaunchingCommandOneTwice) {
    for (int secondsLeft : {30, 0}) {  // 0: "OFF" in red, the last second
        CountdownFixture f;
        auto& c = f.controller;
        StartCount(f, 10);
        f.Ticks(600 - secondsLeft);
        ASSERT_TRUE(c.IsWarning);
        ASSERT_EQ(c.RestTime, secondsLeft);
        f.platform.Wake();
        EXPECT_TRUE(f.window.visible);
        EXPECT_TRUE(c.IsWarning);
        EXPECT_EQ(c.RestTime, 59);
        EXPECT_EQ(f.readout.caption, "59");
        EXPECT_EQ(f.readout.color, colors::kRed);
        EXPECT_EQ(f.restLabel.text, "0:59");
        EXPECT_TRUE(f.platform.sleepHold.held);
        f.Ticks(59);
        EXPECT_EQ(f.readout.caption, "OFF") << secondsLeft;
        EXPECT_FALSE(f.Ended());
        f.Ticks(1);  // sixty seconds after the wake-up
        EXPECT_EQ(f.LaunchesOf("act-cmd"), 1) << secondsLeft;
        EXPECT_EQ(f.LaunchesOf("warn-cmd"), 1) << secondsLeft;
        EXPECT_TRUE(f.Ended());
        EXPECT_EQ(Changes(f.platform.sleepHold), "take@0 release@1 ");
    }
}

TEST(SleepWake, PausedDialledOrOffStaysAsItWasAndComesToTheFront) {
    CountdownFixture f(3);
    auto& c = f.controller;
    StartCount(f, 30);
    f.Ticks(100);
    c.ShowAndPause();
    f.Ticks(2);
    const int shows = f.window.shows;
    f.platform.Wake();  // paused stays paused, the idle pause counts afresh
    EXPECT_EQ(f.window.shows, shows + 1);
    EXPECT_FALSE(c.tmMain.Enabled());
    EXPECT_EQ(c.IdleCount, 3);
    EXPECT_EQ(c.RestTime, 1700);
    f.Ticks(4);
    EXPECT_FALSE(f.window.visible);  // then hides and counts on
    EXPECT_EQ(c.RestTime, 1700);

    // After the count was cancelled in its last minute: nothing is launched or held.
    CountdownFixture g(3);
    StartCount(g, 10);
    g.Ticks(570);
    g.controller.StepTime(0);
    g.platform.Wake();
    EXPECT_FALSE(g.controller.IsWarning);
    EXPECT_FALSE(g.controller.tmMain.Enabled());
    EXPECT_EQ(g.readout.caption, "20");
    EXPECT_EQ(g.readout.color, colors::kLime);
    EXPECT_FALSE(g.platform.sleepHold.held);
    EXPECT_EQ(g.LaunchesOf("warn-cmd"), 1);
    EXPECT_EQ(g.LaunchesOf("act-cmd"), 0);

    // Nothing dialled: the program goes on waiting to end as before.
    CountdownFixture h(3);
    h.platform.Wake();
    EXPECT_FALSE(h.Ended());
    EXPECT_FALSE(h.platform.sleepHold.held);
    h.Ticks(4);
    EXPECT_TRUE(h.Ended());
    EXPECT_TRUE(h.platform.launches.empty());
}

TEST(SleepWake, TheMainWindowComesBackPausedAndASecondCopyIgnoresIt) {
    auto world = std::make_shared<headless::HeadlessWorld>();
    FormFixture f(Ini("10", "0"), world);
    f.Start();
    f.Key(Key::Up);
    f.Key(Key::Up);
    f.Key(Key::Escape);
    f.Ticks(60);
    ASSERT_FALSE(f.window().Visible());
    f.platform.Wake();
    f.platform.Drain();
    EXPECT_TRUE(f.window().Visible());
    EXPECT_TRUE(f.form->controller.tmUser.Enabled());
    EXPECT_FALSE(f.form->controller.tmMain.Enabled());
    EXPECT_EQ(f.form->controller.RestTime, 1140);
    EXPECT_EQ(f.form->VrLabel1.Caption(), "20");

    // A second copy passes the first forward and ends; a wake-up meanwhile shows it nothing.
    FormFixture second(Ini("10", "0"), world);
    second.Start();
    second.platform.Wake();
    second.platform.Drain();
    EXPECT_FALSE(second.window().Visible());
}

}  // namespace
}  // namespace vreko::testing
