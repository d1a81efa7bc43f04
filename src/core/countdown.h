// The countdown controller: the dialled time, the remaining time, the idle count and the
// flags, driven by two one-second tick sources. It decides when the window hides, when it
// comes back, when the two commands are launched and when the program ends.
#pragma once

#include <cstdint>

#include "core/command_launcher.h"
#include "core/modal_hold.h"
#include "core/readout.h"
#include "platform/event_loop.h"
#include "platform/platform.h"

namespace vreko {

// The three window operations the controller needs from the main window.
class MainWindowOps {
public:
    virtual ~MainWindowOps() = default;
    virtual void Show() = 0;  // visible and in front
    virtual void Hide() = 0;
    virtual void Close() = 0;  // asks the program to end; returns at once
    virtual bool Visible() const = 0;
};

struct CountdownViews {
    ReadoutView& readout;  // VrLabel1
    TextView& idleLabel;   // Label1
    TextView& restLabel;   // Label2
};

class CountdownController {
public:
    CountdownController(EventLoop& loop, MainWindowOps& window, CountdownViews views, CommandLauncher& launcher,
                        ModalHold& hold, SleepHold& sleep);
    // The program ends: the machine may sleep again.
    ~CountdownController();
    CountdownController(const CountdownController&) = delete;
    CountdownController& operator=(const CountdownController&) = delete;

    // Settings values, set once at start.
    std::int32_t TimePause = 0;
    bool TestMode = false;

    // State, program-wide for the whole run.
    std::int32_t DialTime = 0;
    std::int32_t RestTime = 0;
    std::int32_t IdleCount = 0;
    bool IsHidden = false;
    bool IsWarning = false;

    TickSource tmUser;  // idle timer, running at start
    TickSource tmMain;  // countdown timer, stopped at start

    // The reset that ends the window's creation: back to "OFF" in yellow.
    void Reset();
    // Any keyboard or mouse input postpones the hide.
    void ResetIdle() { IdleCount = TimePause; }

    void StepTime(std::int32_t down);  // 0: one step up; anything else: one step down
    void HideOrClose();
    void ShowAndPause();
    void tmUserTimer();
    void tmMainTimer();
    void ShowTime(std::int32_t n);
    // The machine has slept and woken up: a running count comes forward as a second start
    // brings it, or, in its last minute, shows a whole minute again before the action.
    void ShowAfterSleep();

private:
    MainWindowOps& window_;
    // A countdown tick's step is under way (it may wait in a message box it opened).
    bool stepping_ = false;
    CountdownViews views_;
    CommandLauncher& launcher_;
    ModalHold& hold_;
    // Held from the hide that starts a count until the count is dropped, the action is
    // launched or the program ends.
    SleepHold& sleep_;
};

}  // namespace vreko
