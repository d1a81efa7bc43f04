#include "core/countdown.h"

#include <cstdint>
#include <string>

namespace vreko {

ReadoutLook FormatReadout(std::int32_t n, bool isHidden, bool isWarning) {
    // C++ division truncates toward zero and the remainder takes the dividend's sign,
    // which is the rule the readout is defined by.
    if (!isHidden && !isWarning) {
        ReadoutLook look{n == 0 ? "OFF" : std::to_string(n / 60), std::nullopt};
        if (n == 0)
            look.color = colors::kYellow;
        else if (n > 0)
            look.color = colors::kLime;
        return look;
    }
    if (n > 60) return {std::to_string(n / 60 + 1), colors::kLime};
    return {n == 0 ? "OFF" : std::to_string(n), colors::kRed};
}

void ShowTime(std::int32_t n, bool isHidden, bool isWarning, ReadoutView& readout) {
    ReadoutLook look = FormatReadout(n, isHidden, isWarning);
    readout.SetCaption(look.caption);
    if (look.color) readout.SetFontColor(*look.color);
}

std::string MinutesSecondsText(std::int32_t n) {
    std::int32_t s = n % 60;
    std::string text = std::to_string(n / 60) + ":";
    if (s < 10) text += '0';
    text += std::to_string(s);
    return text;
}

CountdownController::CountdownController(EventLoop& loop, MainWindowOps& window, CountdownViews views,
                                         CommandLauncher& launcher, ModalHold& hold, SleepHold& sleep)
    : tmUser(loop, 1000, [this] { tmUserTimer(); }),
      tmMain(loop, 1000, [this] { tmMainTimer(); }),
      window_(window),
      views_(views),
      launcher_(launcher),
      hold_(hold),
      sleep_(sleep) {
    tmUser.Start();
    // The user has just closed one of our boxes: that counts as input, whether or not the
    // window system reports the return to the window as an activation.
    hold_.OnReleased([this] { ResetIdle(); });
}

CountdownController::~CountdownController() { sleep_.Release(); }

void CountdownController::Reset() {
    IsHidden = false;
    IsWarning = false;
    DialTime = 0;
    IdleCount = TimePause;
    ShowTime(0);
}

void CountdownController::ShowTime(std::int32_t n) { vreko::ShowTime(n, IsHidden, IsWarning, views_.readout); }

void CountdownController::StepTime(std::int32_t down) {
    const std::int32_t step = TestMode ? 60 : 600;
    const std::int32_t limit = TestMode ? 600 : 7200;
    DialTime += down == 0 ? step : -step;
    if (DialTime > limit) DialTime = 0;
    if (DialTime < 0) DialTime = limit;
    RestTime = DialTime;
    // A pending count is dropped: the next hide starts a new one and holds sleep again.
    sleep_.Release();
    if (IsWarning) {
        // Dialling during the last minute cancels the countdown.
        tmUser.Start();
        IsWarning = false;
        tmMain.Stop();
    }
    ShowTime(DialTime);
}

void CountdownController::HideOrClose() {
    if (DialTime == 0 || RestTime == 0) {
        sleep_.Release();
        window_.Close();
    }
    if (RestTime < 60) return;
    // The machine must not sleep through the count.
    sleep_.Take();
    IsHidden = true;
    tmUser.Stop();
    IdleCount = TimePause;
    tmMain.Start();
    window_.Hide();
}

void CountdownController::ShowAndPause() {
    IsHidden = false;
    IdleCount = TimePause;
    if (RestTime > 60) tmUser.Start();
    if (RestTime > 60) tmMain.Stop();
    window_.Show();
}

void CountdownController::tmUserTimer() {
    if (hold_.Active()) return;  // one of our boxes is open: the window neither hides nor ends under it
    if (IdleCount == 0) HideOrClose();
    if (IdleCount > INT32_MIN) --IdleCount;  // a count already far below zero stays put
    views_.idleLabel.SetText(std::to_string(IdleCount));
}

void CountdownController::tmMainTimer() {
    // The ticks that fall due while a step waits in a box it opened (the action's failure, right
    // before the end) are dropped: each step runs once.
    if (stepping_) return;
    stepping_ = true;
    bool warningFailed = false;
    if (RestTime == 60) {
        IsWarning = true;
        ShowAndPause();
        warningFailed = !launcher_.Launch(1);
    }
    if (RestTime == 0) {
        // Let go first: an action that suspends the machine itself must not find it held.
        sleep_.Release();
        launcher_.StartCommand(2);  // its failure box is closed before the program ends
        HideOrClose();
    }
    --RestTime;
    views_.restLabel.SetText(MinutesSecondsText(RestTime));
    ShowTime(RestTime);
    stepping_ = false;
    // The warning's failure box opens once the step is done: the count keeps its time behind it,
    // showing its red seconds, and at zero the action runs and the program ends, box or not.
    if (warningFailed) launcher_.ShowFailure();
}

void CountdownController::ShowAfterSleep() {
    // The action is under way already (its failure box is open): the program ends with it.
    if (stepping_) return;
    if (IsWarning) {
        // The warning starts again: a whole minute of red seconds from now, as when it first
        // came, without launching command 1 again.
        RestTime = 59;
        tmMain.Stop();
        tmMain.Start();
        views_.restLabel.SetText(MinutesSecondsText(RestTime));
        ShowTime(RestTime);
        IdleCount = TimePause;
        if (!hold_.Active()) window_.Show();
        return;
    }
    // One of our boxes is open while the window waits: it stays as the user left it.
    if (hold_.Active()) return;
    // As a second start: a count with more than a minute left pauses until the window hides
    // again; a paused or dialled window just comes to the front.
    ShowAndPause();
}

}  // namespace vreko
