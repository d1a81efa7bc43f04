#include <gtest/gtest.h>

#include <algorithm>

#include "form_fixture.h"

namespace vreko::testing {
namespace {

constexpr LaunchOutcome kStarted = LaunchOutcome::Started, kNotStarted = LaunchOutcome::NotStarted,
                        kPending = LaunchOutcome::Pending;

const headless::DrawOp* LastText(const std::vector<headless::DrawOp>& ops) {
    for (auto it = ops.rbegin(); it != ops.rend(); ++it)
        if (it->kind == "text") return &*it;
    return nullptr;
}

TEST(MainForm, StartsCentredWithItsDesignAndWritesMissingSettings) {
    FormFixture f;  // an empty settings file beside the program
    f.Start();
    EXPECT_EQ(f.window().ScreenBounds(), (Rect{764, 457, 1156, 623}));
    EXPECT_TRUE(f.window().Visible());
    EXPECT_EQ(f.window().region, (Rect{-1, -1, 393, 167}));
    EXPECT_EQ(f.window().regionRx, 20);
    EXPECT_NE(f.Settings().find("[Timer]\nTimePause=10\n"), std::string::npos);
    EXPECT_NE(f.Settings().find("FontSize=90"), std::string::npos);

    // The first paint: black background, the readout "OFF" in yellow, three buttons.
    const auto* text = LastText(f.window().ops);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text, "OFF");
    EXPECT_EQ(text->color, colors::kYellow);
    EXPECT_EQ(f.form->VrLabel1.Font().desc.height, -120);
    const auto polygons = std::count_if(f.window().ops.begin(), f.window().ops.end(),
                                        [](const headless::DrawOp& op) { return op.kind == "polygon"; });
    EXPECT_EQ(polygons, 4);  // two arrow faces, each filled and then stroked
}

TEST(MainForm, FixedPlacementAndScreenScale) {
    FormFixture f(Ini("10", "0", "warn", "act", "0", "100", "50"));
    f.Start();
    EXPECT_EQ(f.window().ScreenBounds(), (Rect{100, 50, 492, 216}));

    FormFixture hi(Ini());
    hi.platform.dpi = 192;
    hi.Start();
    EXPECT_EQ(hi.window().ScreenBounds().Width(), 784);
    EXPECT_EQ(hi.window().regionRx, 40);
    EXPECT_EQ(hi.form->btnUp.BoundsRect(), (Rect{16, 16, 100, 114}));
    EXPECT_EQ(hi.form->VrLabel1.Font().desc.height, -240);  // 90 points at 192 pixels per inch
}

TEST(MainForm, KeysAndWheelDialAndAnyKeyPostponesTheHide) {
    FormFixture f(Ini("3", "0"));
    f.Start();
    f.Key(Key::Up);
    f.Key(Key::Right);
    EXPECT_EQ(f.form->VrLabel1.Caption(), "20");
    EXPECT_EQ(f.form->VrLabel1.Font().color, colors::kLime);
    f.Key(Key::Left);
    EXPECT_EQ(f.form->VrLabel1.Caption(), "10");
    f.Wheel(1);
    f.Wheel(1);
    EXPECT_EQ(f.form->VrLabel1.Caption(), "30");
    f.Wheel(-1);
    EXPECT_EQ(f.form->VrLabel1.Caption(), "20");

    f.Ticks(3);
    f.Key(Key::Other);  // a letter does nothing else, but the idle count starts again
    f.Ticks(3);
    EXPECT_TRUE(f.window().Visible());
    f.platform.Inject(
        Event{&f.window().handler(), KeyPressed{Key::Other, false, true}});  // Alt combinations do not count
    f.Ticks(1);
    EXPECT_FALSE(f.window().Visible());
    EXPECT_FALSE(f.Ended());
}

TEST(MainForm, PointerOverControlsPostponesTheHideButNotOverTheBackground) {
    FormFixture f(Ini("3", "0"));
    f.Start();
    f.Key(Key::Up);
    f.Ticks(3);
    f.Move(200, 80);  // over the readout: the idle count starts again
    f.Ticks(3);
    EXPECT_TRUE(f.window().Visible());
    ASSERT_EQ(f.window().AreaOf({3, 64}), Area::Background);
    f.platform.Inject(Event{&f.window().handler(),
                            PointerMoved{{3, 64}, Area::Background, {}}});  // over the draggable strip: no reset
    f.Ticks(1);
    EXPECT_FALSE(f.window().Visible());
}

TEST(MainForm, EscapeEndsWhenOffAndHidesWhenDialled) {
    FormFixture off(Ini());
    off.Start();
    off.Key(Key::Escape);
    EXPECT_TRUE(off.Ended());
    EXPECT_TRUE(off.platform.launches.empty());

    FormFixture dialled(Ini());
    dialled.Start();
    dialled.Key(Key::Down);
    dialled.Key(Key::Escape);
    EXPECT_FALSE(dialled.Ended());
    EXPECT_FALSE(dialled.window().Visible());
}

TEST(MainForm, ArrowButtonsClickOnlyOnTheirShapes) {
    FormFixture f(Ini("10", "0"));
    f.Start();
    f.Click(29, 40);  // inside the up triangle
    EXPECT_EQ(f.form->VrLabel1.Caption(), "10");
    f.Click(10, 10);  // inside btnUp's rectangle, off the triangle
    EXPECT_EQ(f.form->VrLabel1.Caption(), "10");
    EXPECT_EQ(f.window().cursor, CursorKind::Hand);
    f.Click(29, 125);  // the down triangle
    EXPECT_EQ(f.form->VrLabel1.Caption(), "OFF");

    // A double-click gives two clicks.
    f.Press(29, 40);
    f.Release(29, 40);
    f.Button(PointerButton::Left, true, 29, 40, true);
    f.Release(29, 40);
    EXPECT_EQ(f.form->VrLabel1.Caption(), "20");

    // Pressed, dragged off the window and released there: no click.
    f.Press(29, 40);
    EXPECT_EQ(f.form->btnUp.State(), btsDown);
    EXPECT_TRUE(f.window().captured);
    f.Move(500, 300, HeldKeys{true});
    EXPECT_EQ(f.form->btnUp.State(), btsUp);
    f.Release(500, 300);
    EXPECT_EQ(f.form->VrLabel1.Caption(), "20");
    EXPECT_FALSE(f.window().captured);

    // The round button does what Escape does.
    f.Click(29, 83);
    EXPECT_FALSE(f.window().Visible());
}

TEST(MainForm, HoverLooksAndThePollRestoresThem) {
    FormFixture f(Ini());
    f.Start();
    f.Move(29, 40);
    EXPECT_EQ(f.form->btnUp.State(), btsMouseOver);
    const auto& face = *std::find_if(f.window().ops.rbegin(), f.window().ops.rend(),
                                     [](const headless::DrawOp& op) { return op.kind == "polygon"; });
    EXPECT_EQ(face.color, Rgb(255, 255, 255));
    // The pointer leaves without any move reaching the button: the poll puts the idle look back.
    f.window().pointer = Point{-764, -457};
    f.platform.AdvanceBy(100);
    EXPECT_EQ(f.form->btnUp.State(), btsUp);
    EXPECT_FALSE(f.form->btnUp.HoverPollRunning());
}

TEST(MainForm, ReadoutAndBackgroundDragTheWindow) {
    FormFixture f(Ini());
    f.Start();
    EXPECT_EQ(f.window().handler().AreaAt({3, 64}), Area::Background);  // bare left strip
    EXPECT_EQ(f.window().handler().AreaAt({10, 10}), Area::Client);     // a button's rectangle
    EXPECT_EQ(f.window().handler().AreaAt({200, 80}), Area::Client);
    f.Press(200, 80);
    EXPECT_EQ(f.window().moveDrags, 1);
    f.Release(200, 80);
    f.Press(200, 80, PointerButton::Right);  // the readout moves the window with the left button only
    f.Release(200, 80, PointerButton::Right);
    EXPECT_EQ(f.window().moveDrags, 1);

    // After a right press on the background, the points stay client ones until its release.
    f.Send(ButtonChanged{PointerButton::Right, true, false, {3, 64}, Area::Background, {}});
    EXPECT_EQ(f.window().handler().AreaAt({3, 64}), Area::Client);
    f.platform.menuChoice = -1;
    f.window().captured = false;  // the release on the background alone lets it drag again
    f.Send(ButtonChanged{PointerButton::Right, false, false, {3, 64}, Area::Background, {}});
    EXPECT_EQ(f.window().handler().AreaAt({3, 64}), Area::Background);
}

TEST(MainForm, BackgroundDragsAgainAfterARightClickOnIt) {
    FormFixture f(Ini());
    f.Start();
    const Point strip{3, 64};
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        // The press comes as a non-client one; the window then holds the pointer, so its
        // release comes as client input, where it opens the context menu.
        f.platform.lastMenu.clear();
        f.Press(strip.x, strip.y, PointerButton::Right);
        EXPECT_EQ(f.window().handler().AreaAt(strip), Area::Client);
        EXPECT_TRUE(f.window().captured);
        f.Release(strip.x, strip.y, PointerButton::Right);
        EXPECT_FALSE(f.platform.lastMenu.empty());
        EXPECT_FALSE(f.window().captured);
        EXPECT_EQ(f.window().handler().AreaAt(strip), Area::Background);
    }

    // The capture taken away while the button is held ends the pause as well.
    f.Press(strip.x, strip.y, PointerButton::Right);
    ASSERT_EQ(f.window().handler().AreaAt(strip), Area::Client);
    f.window().ReleasePointer();
    EXPECT_EQ(f.window().handler().AreaAt(strip), Area::Background);
    f.Release(strip.x, strip.y, PointerButton::Right);
    EXPECT_EQ(f.window().handler().AreaAt(strip), Area::Background);
}

TEST(MainForm, ContextMenuLaunchesEitherCommandWithoutChangingTheCount) {
    FormFixture f(Ini("10", "0"));
    f.Start();
    f.Key(Key::Up);
    f.platform.menuChoice = 0;
    f.Press(200, 80, PointerButton::Right);
    f.Release(200, 80, PointerButton::Right);
    EXPECT_EQ(f.platform.lastMenuAt, (Point{200, 80}));
    ASSERT_EQ(f.platform.launches.size(), 1u);
    EXPECT_EQ(f.platform.launches[0].file, "warn");
    EXPECT_EQ(f.platform.lastMenu, (std::vector<std::string>{"Test Start Command 1", "Test Start Command 2"}));
    f.platform.menuChoice = 1;
    f.Key(Key::Menu);
    EXPECT_EQ(f.platform.lastMenuAt, (Point{196, 83}));  // the keyboard's menu opens at the middle
    ASSERT_EQ(f.platform.launches.size(), 2u);
    EXPECT_EQ(f.platform.launches[1].file, "act");
    EXPECT_EQ(f.platform.launches[1].params, "-two");
    EXPECT_EQ(f.form->controller.DialTime, 600);
    EXPECT_FALSE(f.Ended());
}

TEST(MainForm, SettingsErrorShowsItsBoxAndKeepsTheDesignLook) {
    FormFixture f("[Timer]\nTimePause=abc\n");
    bool endedWhileReading = true, shownOverTheBox = true;
    f.platform.whileBoxOpen = [&] {
        // The box takes the focus: the program becomes the active application, and the user
        // reads the message for five seconds.
        f.platform.SetActive(true);
        f.platform.AdvanceBy(5000);
        endedWhileReading = f.Ended();
        shownOverTheBox = f.window().Visible();
    };
    f.Start();
    EXPECT_FALSE(endedWhileReading);
    EXPECT_FALSE(shownOverTheBox);  // the window waits for the message to be closed
    EXPECT_TRUE(f.window().Visible());
    ASSERT_EQ(f.platform.boxes.size(), 1u);
    EXPECT_EQ(f.platform.boxes[0].text, "'abc' is not a valid integer value.");
    EXPECT_EQ(f.platform.boxes[0].caption, "Vreko");
    EXPECT_EQ(f.platform.boxes[0].icon, MessageBoxIcon::Error);
    EXPECT_EQ(f.form->VrLabel1.Caption(), "OFF");
    EXPECT_EQ(f.form->VrLabel1.Font().color, colors::kLime);
    EXPECT_TRUE(f.form->launcher.commands().FileName1.empty());
    EXPECT_EQ(f.Settings(), "[Timer]\nTimePause=abc\n");  // nothing after the failure is written
    // With no pause the window closes on the first idle tick.
    f.Ticks(1);
    EXPECT_TRUE(f.Ended());
}

TEST(MainForm, AfterASettingsBoxTheIdlePauseStartsAfresh) {
    // A failure at a later key: the pause is loaded, the placement is not.
    FormFixture f(Ini("10", "0", "warn", "act", "0", "0", "abc"));
    f.platform.whileBoxOpen = [&] {
        // The box has the focus; going back to the window is no new activation of the program.
        f.platform.SetActive(true);
        f.platform.AdvanceBy(30000);
    };
    f.Start();
    ASSERT_EQ(f.platform.boxes.size(), 1u);
    EXPECT_EQ(f.platform.boxes[0].text, "'abc' is not a valid integer value.");
    EXPECT_EQ(f.form->controller.TimePause, 10);
    f.Ticks(10);
    EXPECT_FALSE(f.Ended());
    EXPECT_TRUE(f.window().Visible());
    f.Ticks(1);  // the eleventh idle tick after the box closed
    EXPECT_TRUE(f.Ended());
}

TEST(MainForm, SettingsComeFromTheBackendWithItsDefaults) {
    FormFixture f("[Timer]\nTimePause=5\n");
    f.platform.settingsDefaults.FileName2 = "marker-action";
    f.platform.settingsDefaults.Param2 = "--mark";
    f.platform.settingsDefaults.FontSize = "12";
    f.Start();
    EXPECT_TRUE(f.platform.boxes.empty());
    EXPECT_TRUE(f.form->SettingsComplete());
    EXPECT_EQ(f.platform.settingsOpenedFor, f.platform.moduleFileName);  // the program's own settings
    EXPECT_EQ(f.form->SettingsPath(), f.platform.settings->path);
    EXPECT_NE(f.Settings().find("FileName2=marker-action\nParam2=--mark\n"), std::string::npos);
    EXPECT_NE(f.Settings().find("[Text]\nFontName=Arial Black\nFontSize=12\n"), std::string::npos);
    EXPECT_EQ(f.form->launcher.commands().FileName2, "marker-action");
    EXPECT_EQ(f.form->launcher.commands().Param2, "--mark");
    EXPECT_EQ(f.form->VrLabel1.Font().desc.height, -16);  // 12 points at 96 pixels per inch
    EXPECT_EQ(f.form->controller.TimePause, 5);
}

TEST(MainForm, SettingsThatCannotBeWrittenSayWhere) {
    FormFixture f;
    f.platform.settings->writable = false;
    f.Start();
    ASSERT_EQ(f.platform.boxes.size(), 1u);
    EXPECT_EQ(f.platform.boxes[0].text, "Unable to write to " + f.platform.settings->path + ".");
    EXPECT_EQ(f.platform.boxes[0].icon, MessageBoxIcon::Error);
    EXPECT_FALSE(f.form->SettingsComplete());
    EXPECT_EQ(f.Settings(), "");
    EXPECT_EQ(f.platform.settings->writes, 0);
}

TEST(MainForm, SettingsAnotherUserCouldHaveWrittenLaunchNothingAndSaySo) {
    // Test mode and a pause of 20 from the file, the commands taken from nowhere; a missing key
    // takes its default without being written.
    const std::string file =
        "[Timer]\nTimePause=20\nTest=1\n[AppStart]\nFileName1=warn\nParam1=-one\n"
        "FileName2=act\nParam2=-two\n";
    FormFixture f(file);
    auto& settings = *f.platform.settings;
    settings.untrusted = settings.path + " is writable by other users (mode 0666).";
    settings.ignored = "/opt/vreko/.Vreko.INI.redo was left by another user (eve) and is ignored.";
    f.Start();
    ASSERT_EQ(f.platform.boxes.size(), 1u);
    EXPECT_EQ(f.platform.boxes[0].text, settings.untrusted + "\n\nNo command is launched from " + settings.path +
                                            ", and nothing is written into it, until only you or the administrator "
                                            "can change it and the folder that holds it.\n\n" +
                                            settings.ignored);
    EXPECT_EQ(f.platform.boxes[0].caption, "Vreko");
    EXPECT_EQ(f.platform.boxes[0].icon, MessageBoxIcon::Exclamation);
    EXPECT_EQ(f.Settings(), file);
    EXPECT_TRUE(f.form->SettingsComplete());
    EXPECT_EQ(f.form->controller.TimePause, 20);
    EXPECT_EQ(f.form->VrLabel1.Font().color, colors::kYellow);  // reset: the program runs as usual

    // Neither the menu's two items nor the end of a countdown launch anything, and no
    // launch failure shows.
    f.platform.menuChoice = 0;
    f.Key(Key::Menu);
    f.platform.menuChoice = 1;
    f.Key(Key::Menu);
    f.Key(Key::Up);
    f.Key(Key::Escape);
    f.Ticks(61);
    EXPECT_TRUE(f.Ended());
    EXPECT_TRUE(f.platform.launches.empty());
    EXPECT_EQ(f.platform.boxes.size(), 1u);
}

TEST(MainForm, InputWaitsWhileTheLaunchFailureBoxIsOpen) {
    FormFixture f(Ini("10", "1", "/nonexistent/warn"));
    f.platform.shellResult = [](const std::string& file) { return file == "act" ? kStarted : kNotStarted; };
    f.platform.whileBoxOpen = [&] {
        f.Key(Key::Up);  // would cancel the warning
        f.Key(Key::Escape);
        f.Click(29, 40);
        f.platform.AdvanceBy(3000);
    };
    f.Start();
    f.Key(Key::Up);
    f.Key(Key::Escape);
    f.Ticks(1);
    EXPECT_EQ(f.platform.boxes.size(), 1u);
    EXPECT_TRUE(f.form->controller.IsWarning);
    EXPECT_EQ(f.form->controller.RestTime, 56);  // the count kept its time behind the box
    EXPECT_EQ(f.form->controller.DialTime, 60);
    f.Ticks(57);
    EXPECT_TRUE(f.Ended());
    EXPECT_EQ(f.platform.launches.size(), 2u);
}

TEST(MainForm, ALaunchDecidedLaterShowsItsFailureWhenItIsKnown) {
    FormFixture f(Ini("3", "1"));
    f.platform.shellResult = [](const std::string&) { return kPending; };
    f.Start();
    f.Key(Key::Up);
    f.platform.menuChoice = 0;
    f.Key(Key::Menu);  // "Test Start Command 1": its start waits for a check beside the program
    ASSERT_EQ(f.platform.launches.size(), 1u);
    EXPECT_TRUE(f.platform.boxes.empty());
    f.Ticks(2);
    f.Key(Key::Up);  // the program goes on meanwhile
    EXPECT_EQ(f.form->controller.DialTime, 120);
    f.platform.DecideLaunch(kNotStarted);  // nothing could be started after all
    f.platform.Drain();
    ASSERT_EQ(f.platform.boxes.size(), 1u);
    EXPECT_EQ(f.platform.boxes[0].text, kLaunchFailureText);
    f.Key(Key::Menu);
    f.platform.DecideLaunch(kStarted);  // this one started
    f.platform.Drain();
    EXPECT_EQ(f.platform.boxes.size(), 1u);
    EXPECT_EQ(f.platform.PendingLaunches(), 0);
    f.Ticks(3);
    EXPECT_TRUE(f.window().Visible());
    f.Ticks(1);  // the idle pause counts from the box's closing, not from the last key
    EXPECT_FALSE(f.window().Visible());
}

TEST(MainForm, AnActionStillBeingDecidedAtTheEndShowsItsFailureBeforeTheProgramEnds) {
    FormFixture f(Ini("10", "1"));
    f.platform.shellResult = [](const std::string& file) { return file == "act" ? kPending : kStarted; };
    f.Start();
    f.Key(Key::Up);
    f.Key(Key::Escape);
    f.Ticks(62);  // the warning, its minute, and the action
    EXPECT_TRUE(f.Ended());
    ASSERT_EQ(f.platform.launches.size(), 2u);
    EXPECT_TRUE(f.platform.boxes.empty());
    f.platform.finishOutcome = kNotStarted;  // the document's type has no program
    SettlePendingLaunches(f.platform);
    ASSERT_EQ(f.platform.boxes.size(), 1u);
    EXPECT_EQ(f.platform.boxes[0].text, kLaunchFailureText);
}

TEST(MainForm, SecondCopyBringsTheFirstForwardAndEndsUnseen) {
    auto world = std::make_shared<headless::HeadlessWorld>();
    FormFixture first(Ini("2", "0"), world);
    first.Start();
    first.Key(Key::Up);
    first.Key(Key::Up);
    first.Key(Key::Escape);
    first.Ticks(100);  // counting hidden, 1100 s left
    ASSERT_FALSE(first.window().Visible());

    {
        FormFixture second(Ini("2", "0"), world);
        second.Start();
        EXPECT_TRUE(second.Ended());
        EXPECT_FALSE(second.app.ShowMainForm());
        EXPECT_EQ(second.window().showCount, 0);
        EXPECT_EQ(second.platform.calls.front(), "OpenNamedLock Vreko.OneInstance.CriticalSection");
        EXPECT_NE(std::find(second.platform.calls.begin(), second.platform.calls.end(), "BringForward"),
                  second.platform.calls.end());
    }
    first.platform.Drain();
    EXPECT_TRUE(first.window().Visible());
    EXPECT_FALSE(first.form->controller.tmMain.Enabled());  // paused
    EXPECT_EQ(first.form->VrLabel1.Caption(), "19");
    first.Ticks(3);
    EXPECT_FALSE(first.window().Visible());  // hidden again, counting on
    EXPECT_EQ(first.form->controller.RestTime, 1100);
    first.Ticks(10);
    EXPECT_EQ(first.form->controller.RestTime, 1090);
}

TEST(MainForm, AChangeOfResolutionScalesTheWindowAboutItsCentre) {
    FormFixture f(Ini());
    f.Start();
    const Rect before = f.window().ScreenBounds();
    ASSERT_EQ(before.Width(), 392);
    const int fontBefore = f.form->VrLabel1.Font().desc.height;
    ASSERT_EQ(fontBefore, -120);

    // Moved to a screen of 144 pixels per inch: one and a half times the design.
    f.Send(ResolutionChanged{144});
    const Rect after = f.window().ScreenBounds();
    EXPECT_EQ(after.Width(), 588);
    EXPECT_EQ(after.Height(), 249);
    EXPECT_EQ(after.left + after.Width() / 2, before.left + before.Width() / 2);
    EXPECT_EQ(after.top + after.Height() / 2, before.top + before.Height() / 2);
    EXPECT_EQ(f.form->VrLabel1.Font().desc.height, -180);
    EXPECT_EQ(f.form->VrLabel1.BoundsRect(), (Rect{84, 0, 84 + 506, 254}));
    EXPECT_EQ(f.form->btnUp.BoundsRect(), (Rect{12, 12, 12 + 63, 12 + 74}));
    EXPECT_EQ(f.window().region, (Rect{-1, -1, 589, 250}));
    EXPECT_EQ(f.window().regionRx, 30);
    // The buttons answer at their new places: the up triangle's middle dials a minute (test mode).
    f.Click(12 + 31, 12 + 50);
    EXPECT_EQ(f.form->VrLabel1.Caption(), "1");

    // And back to 96: the design's own sizes, the same centre.
    f.Send(ResolutionChanged{96});
    EXPECT_EQ(f.window().ScreenBounds(), before);
    EXPECT_EQ(f.form->VrLabel1.Font().desc.height, fontBefore);
    EXPECT_EQ(f.window().regionRx, 20);
}

TEST(MainForm, ACopyDeniedTheLocksOfAnElevatedCopyCountsAsTheSecond) {
    auto world = std::make_shared<headless::HeadlessWorld>();
    FormFixture first(Ini(), world);
    first.platform.elevated = true;  // started by a scheduler "with highest privileges"
    first.Start();
    ASSERT_FALSE(first.Ended());

    {
        // Its instance lock may not be opened by a copy the user starts: that copy is the second.
        FormFixture second(Ini(), world);
        second.Start();
        EXPECT_TRUE(second.Ended());
        EXPECT_TRUE(second.platform.boxes.empty());
        EXPECT_EQ(second.window().showCount, 0);
        EXPECT_NE(std::find(second.platform.calls.begin(), second.platform.calls.end(), "BringForward"),
                  second.platform.calls.end());
    }
    EXPECT_EQ(first.platform.foregroundRequests, 1);

    {
        // The same while the elevated copy is inside its own test and holds the gate.
        headless::HeadlessPlatform elevated(world);
        elevated.elevated = true;
        LockOpened how = LockOpened::Failed;
        std::unique_ptr<NamedLock> gate = elevated.OpenNamedLock("Vreko.OneInstance.CriticalSection", true, how);
        ASSERT_EQ(how, LockOpened::Created);
        FormFixture third(Ini(), world);
        third.Start();
        EXPECT_TRUE(third.Ended());
        EXPECT_TRUE(third.platform.boxes.empty());
        EXPECT_EQ(third.window().showCount, 0);
        gate.reset();
    }
    EXPECT_FALSE(first.Ended());
}

TEST(MainForm, AStartThatCanHaveNoLockSaysSoBeforeItEnds) {
    FormFixture f(Ini());
    f.platform.lockFailure =
        "Its lock files belong in /tmp/vreko-1000, a folder of this user alone, but it belongs "
        "to another user (eve). eve or the administrator can remove it.";
    std::vector<std::string> callsBeforeBox;
    f.platform.whileBoxOpen = [&] { callsBeforeBox = f.platform.calls; };
    f.Start();
    ASSERT_EQ(f.platform.boxes.size(), 1u);
    const auto& box = f.platform.boxes[0];
    EXPECT_EQ(box.caption, "Vreko");
    EXPECT_EQ(box.icon, MessageBoxIcon::Error);
    EXPECT_EQ(box.text,
              "Vreko cannot start: it cannot make sure that only one copy of it runs.\n\n" + f.platform.lockFailure);
    // It still ends as a copy that lost the gate does: the box comes before the lookup of a
    // running copy, and no window is shown.
    EXPECT_EQ(callsBeforeBox, std::vector<std::string>{"OpenNamedLock Vreko.OneInstance.CriticalSection"});
    EXPECT_EQ(f.platform.calls.back(), "FindAppWindow");
    EXPECT_TRUE(f.Ended());
    EXPECT_EQ(f.window().showCount, 0);
}

TEST(MainForm, TheRefusalBoxStaysUntilItIsClosedAndThenTheProgramEnds) {
    FormFixture f(Ini());
    f.platform.lockFailure = "The lock file /tmp/vreko-1000/x cannot be used: Permission denied.";
    bool endedWhileOpen = false;
    f.platform.whileBoxOpen = [&] {
        // The idle timer runs from the start with no pause loaded yet: unheld, its first tick
        // would end the program under the box.
        for (int second = 0; second < 30; ++second) {
            f.platform.AdvanceBy(1000);
            endedWhileOpen = endedWhileOpen || f.Ended();
        }
    };
    f.Start();
    ASSERT_EQ(f.platform.boxes.size(), 1u);
    EXPECT_FALSE(endedWhileOpen);
    EXPECT_FALSE(f.form->hold.Active());  // let go once the box is closed
    EXPECT_TRUE(f.Ended());
    EXPECT_EQ(f.window().showCount, 0);
}

TEST(MainForm, ACopyThatDiedLeavesTheNextStartRunningAsTheFirst) {
    auto world = std::make_shared<headless::HeadlessWorld>();
    FormFixture dead(Ini(), world);
    dead.Start();
    // The copy is killed: it never takes its final step, and its handles go with its process.
    dead.platform.Kill();
    FormFixture next(Ini(), world);
    next.Start();
    EXPECT_FALSE(next.Ended());
    EXPECT_TRUE(next.window().Visible());
}

TEST(MainForm, CloseRequestEndsWithoutLaunching) {
    FormFixture f(Ini());
    f.Start();
    f.Key(Key::Up);
    f.Send(CloseAsked{});
    EXPECT_TRUE(f.Ended());
    EXPECT_TRUE(f.platform.launches.empty());
}

}  // namespace
}  // namespace vreko::testing
