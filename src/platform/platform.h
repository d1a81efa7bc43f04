// The narrow interface the program needs from a window system, in the program's own words.
// One implementation per backend: x11 (Linux desktop), win32 (Windows), headless (in memory,
// for tests).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/events.h"
#include "platform/painter.h"
#include "platform/settings_store.h"

namespace vreko {

enum class CursorKind { Arrow, Hand };
enum class MessageBoxIcon { Plain, Error, Exclamation };  // Plain: no icon

// Where a window should go: centred on the primary screen, or with its top-left corner at a
// point of the screen. A wish: a window system that keeps the placing to itself may ignore
// the point.
struct Placement {
    bool centred = true;
    Point at;
};

struct WindowDesc {
    std::string title;
    int width = 0;
    int height = 0;
    Placement placement;
    bool topmost = true;  // above every window that is not topmost
    Color background = colors::kBlack;
};

// A top-level window the program draws itself. Its handler receives the typed events.
class Window {
public:
    virtual ~Window() = default;
    // Makes the window visible (if it is not) and brings it to the front; activate gives it
    // the keyboard.
    virtual void Show(bool activate) = 0;
    virtual void Hide() = 0;
    virtual bool Visible() const = 0;
    virtual void Place(const Placement& placement) = 0;
    // A new size of the client area, the window keeping its centre (the screen's resolution
    // changed).
    virtual void Resize(int width, int height) = 0;
    // Asks for a NeedsPaint of r (client coordinates), or of the whole client area when null.
    virtual void Invalidate(const Rect* r) = 0;
    // The surface for area (client coordinates); what is drawn on it shows at the latest when
    // the painter goes away. Null when the window is not on the screen.
    virtual std::unique_ptr<Painter> Draw(const Rect& area) = 0;
    virtual void SetCursor(CursorKind kind) = 0;
    // While held, the pointer's moves and releases come to this window wherever it goes.
    virtual void CapturePointer() = 0;
    // Lets go of a held pointer: GrabLost comes to the handler at once.
    virtual void ReleasePointer() = 0;
    // Where the pointer is, in client coordinates, when the window system tells.
    virtual std::optional<Point> PointerPosition() = 0;
    // Starts the window system's interactive move of the window, as a press on a caption does;
    // only while a left press of this window is being dispatched (false, and nothing happens,
    // otherwise).
    virtual bool BeginMove() = 0;
    // Gives the window the outline of the rounded rectangle box (client coordinates, may reach
    // outside the window) with rx by ry corner ellipses; outside it nothing shows and clicks
    // pass through.
    virtual void SetRoundedOutline(const Rect& box, int rx, int ry) = 0;
};

// What the window system's own box or menu would be built of, for a window of the program's.
struct PopupDesc {
    enum class Kind { Dialog, Menu };
    Kind kind = Kind::Dialog;
    std::string title;
    int width = 0;
    int height = 0;
    Window* owner = nullptr;  // a Dialog is above it and modal to it
    Placement placement;      // a Dialog's place
    Point at;                 // a Menu's top-left corner, in the owner's client coordinates
};

// An opaque reference to a top-level window, possibly of another process.
using WindowRef = std::uint64_t;

// How OpenNamedLock went: made by this call, found made by another copy, found but closed to
// this copy (another copy made it with rights this one lacks), or not to be had at all.
enum class LockOpened { Created, Existed, Denied, Failed };
enum class LockWait { Taken, Abandoned, TimedOut, Failed };

// A lock shared by name between the copies of the program of one session; closed (and let
// go of) when destroyed.
class NamedLock {
public:
    virtual ~NamedLock() = default;
    // Takes the lock, waiting at most limitMs for another holder to let go.
    [[nodiscard]] LockWait Wait(int limitMs) { return TakeWithin(limitMs); }
    virtual void Release() = 0;

protected:
    // (Called through the non-virtual Wait: GCC drops [[nodiscard]] on virtual calls.)
    virtual LockWait TakeWithin(int limitMs) = 0;
};

enum class LaunchOutcome { Started, NotStarted, Pending };
struct Launched {
    LaunchOutcome outcome = LaunchOutcome::NotStarted;
    std::string why;  // for NotStarted: what the system said
};

// A hold on the system's automatic sleep: while it is taken, the machine does not suspend on its
// own for being left idle. It holds nothing else: the screen still blanks and locks as the user
// set it, and the user's own sleep (lid, power button, menu) still works. Taking it again while
// it is held, or letting go of none, changes nothing. Where the system offers no way to hold
// sleep, both do nothing and say nothing. Nothing of it passes to a launched command.
class SleepHold {
public:
    virtual ~SleepHold() = default;
    virtual void Take() = 0;
    virtual void Release() = 0;
};

// A backend without a way to hold sleep.
class NoSleepHold : public SleepHold {
public:
    void Take() override {}
    void Release() override {}
};

class Platform : public EventSource {
public:
    // The loop that serves this backend's events; set once by the program at start.
    void AttachLoop(EventLoop* loop) { loop_ = loop; }
    EventLoop* Loop() const { return loop_; }

    // --- the program ---------------------------------------------------------------
    // Full path of the running program file.
    virtual std::string ModuleFileName() = 0;

    // --- settings ------------------------------------------------------------------------
    // The settings of the program file at programPath, where this system keeps them.
    virtual std::unique_ptr<SettingsStore> OpenSettings(const std::string& programPath) = 0;
    // The texts written for missing settings on this system.
    virtual SettingsDefaults DefaultSettings() = 0;

    // --- launching -----------------------------------------------------------------
    // Starts the program (or opens the document) file with the parameter string, without
    // waiting for it. Pending: whether anything starts is decided beside the program; the
    // outcome comes later, through the loop, to the handler below.
    virtual Launched Launch(const std::string& file, const std::string& params) = 0;
    // Where the outcome of each pending launch goes (Started or NotStarted).
    void SetLaunchOutcomeHandler(std::function<void(const Launched&)> handler) { launchOutcome_ = std::move(handler); }
    // At the program's end, once its loop has ended: waits a while for the launches still
    // pending and hands each outcome to the handler at once.
    virtual void FinishPendingLaunches() {}

    // --- sleep ----------------------------------------------------------------------------
    // The hold on automatic sleep, for the whole run; let go of when the program ends. A
    // wake-up comes as MachineWoke to the application.
    virtual SleepHold& AutomaticSleep() { return noSleepHold_; }

    // --- windows ---------------------------------------------------------------------
    virtual int ScreenDpi() = 0;
    virtual std::unique_ptr<Window> CreateMainWindow(WindowHandler& handler, const WindowDesc& desc) = 0;
    // A window for the program's own box or menu (where the system has none), hidden until
    // shown. A Menu holds the pointer and the keyboard from its Show until it goes; when they
    // cannot be had, or are taken away, its handler gets GrabLost.
    virtual std::unique_ptr<Window> CreatePopup(WindowHandler& handler, const PopupDesc& desc) {
        (void)handler;
        (void)desc;
        return nullptr;
    }
    // A painter that only measures text (what is drawn on it goes nowhere), for laying out a
    // box or menu before its window exists; a backend with popups must give one.
    virtual std::unique_ptr<Painter> MeasuringPainter() { return nullptr; }
    // The application window: hidden, zero-sized, titled with the application title, of the
    // class that other copies look for; its handler gets the activation, the bring-forward
    // requests and the wake-ups.
    virtual void CreateAppWindow(const std::string& title, EventHandler& handler) = 0;

    // --- the system's own box and menu (both run the loop until closed) ---------------
    // False where the system has no message box of its own.
    virtual bool ShowNativeMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon) = 0;
    // Shows a popup menu at a point of the owner's client area: the chosen item's index, -1
    // when none was chosen; nothing where the system has no menu of its own.
    virtual std::optional<int> NativePopupMenu(Window& owner, const std::vector<std::string>& items, Point client) = 0;

    // --- named locks and the running copy's window ------------------------------------
    // Opens (creating when needed) the lock of that name; takeNow: takes it at once when it
    // is made by this call. Null when how is Denied or Failed.
    [[nodiscard]] std::unique_ptr<NamedLock> OpenNamedLock(const std::string& name, bool takeNow, LockOpened& how) {
        return MakeNamedLock(name, takeNow, how);
    }
    // After a lock that Failed: why, in words for the user, naming the place where the locks
    // are kept (empty when the window system has nothing more to say).
    virtual std::string LockFailureText() { return {}; }
    virtual WindowRef OwnAppWindow() = 0;
    // The next top-level window after after (0: the first) of that class and title.
    virtual WindowRef FindAppWindow(WindowRef after, const std::string& className, const std::string& title) = 0;
    virtual bool Exists(WindowRef w) = 0;
    virtual bool IsMinimised(WindowRef w) = 0;
    // Asks the copy of window w to come back from its icon, and forward.
    virtual void Restore(WindowRef w, std::uint64_t token) = 0;
    // Asks the copy of window w to come forward.
    virtual void BringForward(WindowRef w, std::uint64_t token) = 0;
    // What lets a bring-forward request of this copy's through the window system's focus
    // stealing prevention (the time of this start, or an activation token); 0 when nothing.
    virtual std::uint64_t ForwardToken() { return 0; }

protected:
    // The backend's OpenNamedLock (called through the non-virtual one: GCC drops [[nodiscard]]
    // on virtual calls).
    virtual std::unique_ptr<NamedLock> MakeNamedLock(const std::string& name, bool takeNow, LockOpened& how) = 0;

    // A pending launch is decided: the program hears it through its loop (at once when the loop
    // has ended).
    void ReportLaunchOutcome(const Launched& outcome) {
        if (!loop_) {
            if (launchOutcome_) launchOutcome_(outcome);
            return;
        }
        loop_->Post([this, outcome] {
            if (launchOutcome_) launchOutcome_(outcome);
        });
    }

    EventLoop* loop_ = nullptr;

private:
    std::function<void(const Launched&)> launchOutcome_;
    NoSleepHold noSleepHold_;
};

}  // namespace vreko
