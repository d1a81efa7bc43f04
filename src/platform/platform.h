// The narrow interface the program needs from a window system. One implementation per
// backend: x11 (Linux desktop), win32 (Windows), headless (in memory, for tests).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/message.h"
#include "platform/painter.h"
#include "platform/settings_store.h"

namespace vreko {

enum class CursorKind { Arrow, Hand };
enum class MessageBoxIcon { Plain, Error, Exclamation };  // Plain: no icon

// Hit-test answers, as the window system's non-client hit test gives them.
constexpr int kHtClient = 1;
constexpr int kHtCaption = 2;

// A window the program paints itself. Its handler receives the translated messages; the
// backend also asks it which points are draggable background.
class NativeWindowHandler : public WindowHandler {
public:
    // kHtCaption for a client point that drags the window, kHtClient otherwise.
    virtual int NcHitTest(Point client) { (void)client; return kHtClient; }
};

struct WindowDesc {
    std::string title;
    int width = 0;
    int height = 0;
    Point position;       // top-left corner in screen pixels
    bool topmost = true;  // above every window that is not topmost
    Color background = colors::kBlack;
};

class NativeWindow {
public:
    virtual ~NativeWindow() = default;
    // Makes the window visible (if it is not) and brings it to the front; activate gives it focus.
    virtual void Show(bool activate) = 0;
    virtual void Hide() = 0;
    virtual bool Visible() const = 0;
    virtual Rect ScreenBounds() const = 0;
    virtual void MoveTo(Point topLeft) = 0;
    // Gives the window new screen bounds. Only backends that report a change of the screen's
    // resolution (msg::kDpiChanged) are asked to change the size; the others just move.
    virtual void SetBounds(const Rect& screen) { MoveTo({screen.left, screen.top}); }
    // Schedules a paint message for r (client coordinates), or the whole client area when null.
    virtual void Invalidate(const Rect* r) = 0;
    // Inside the handling of a paint message: the surface for the area being painted.
    virtual std::unique_ptr<Painter> BeginPaint(Rect& area) = 0;
    // Outside the paint cycle: the window's surface for an immediate drawing (null when hidden).
    virtual std::unique_ptr<Painter> GetDC() = 0;
    virtual void SetCursor(CursorKind kind) = 0;
    virtual void SetCapture() = 0;
    virtual void ReleaseCapture() = 0;
    // Starts the window system's interactive move of the window, as a press on a caption does.
    virtual void BeginMoveDrag() = 0;
    // Gives the window the outline of the rounded rectangle box (client coordinates, may reach
    // outside the window) with rx by ry corner ellipses; outside it nothing shows and clicks
    // pass through.
    virtual void SetRoundRectRegion(const Rect& box, int rx, int ry) = 0;
    virtual Point ScreenToClient(Point p) const = 0;
    virtual Point ClientToScreen(Point p) const = 0;
};

// An opaque reference to a top-level window, possibly of another process.
using WindowRef = std::uint64_t;
// An opaque kernel object handle; 0 is null.
using KernelHandle = std::intptr_t;

constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorOpenFailed = 110;
constexpr std::uint32_t kErrorAlreadyExists = 183;
constexpr std::uint32_t kWaitObject0 = 0x000;
constexpr std::uint32_t kWaitAbandoned = 0x080;
constexpr std::uint32_t kWaitTimeout = 0x102;
constexpr std::uint32_t kWaitFailed = 0xFFFFFFFF;

// StartFile's answer when whether anything starts is known only later (a document whose type
// is being looked up): it counts as started until its outcome comes.
constexpr std::intptr_t kStartPending = 43;

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

    // --- shell ---------------------------------------------------------------------
    // Starts the program (or opens the document) file with the parameter string, without
    // waiting for it. A result of 32 or less means that nothing was started. kStartPending:
    // the outcome is decided beside the program and comes later, from the loop, to the
    // handler below.
    virtual std::intptr_t StartFile(const std::string& file, const std::string& params) = 0;
    // Where the outcome of each pending start goes (StartFile's codes; 32 or less: nothing started).
    void SetStartOutcomeHandler(std::function<void(std::intptr_t)> handler) { startOutcome_ = std::move(handler); }
    // At the program's end, once its loop has ended: waits a while for the starts still pending
    // and hands each outcome to the handler at once.
    virtual void FinishPendingStarts() {}

    // --- sleep and wake -----------------------------------------------------------------
    // The hold on automatic sleep, for the whole run; let go of when the program ends.
    virtual SleepHold& AutomaticSleep() { return noSleepHold_; }
    // Set by the program: told, from the loop, that the machine has slept (suspended or
    // hibernated) and woken up again.
    std::function<void()> OnWake;

    // --- screen and windows --------------------------------------------------------------
    virtual Rect PrimaryMonitor() = 0;
    // The pointer's position in screen coordinates.
    virtual Point CursorPos() { return {-32768, -32768}; }
    virtual int ScreenDpi() = 0;
    virtual std::unique_ptr<NativeWindow> CreateMainWindow(NativeWindowHandler& handler, const WindowDesc& desc) = 0;
    // The application window: hidden, zero-sized, titled with the application title, of the
    // class that other copies look for; its handler gets the activation and bring-forward notices.
    virtual void CreateAppWindow(const std::string& title, WindowHandler& handler) = 0;

    // --- modal user interface (both run the loop until closed) --------------------------
    virtual void ShowMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon) = 0;
    // Shows a popup menu at a screen point; the chosen item's index, or -1.
    virtual int TrackPopupMenu(const std::vector<std::string>& items, Point screen) = 0;

    // --- named mutexes and the running copy's window ------------------------------------
    // Null on failure; GetLastError() is then kErrorAccessDenied when the mutex exists but
    // this copy may not open it (another copy made it with rights this one lacks).
    virtual KernelHandle CreateNamedMutex(bool initialOwner, const std::string& name) = 0;
    virtual std::uint32_t GetLastError() = 0;
    // After a CreateNamedMutex that failed: why, in words for the user, naming the place where the
    // mutexes are kept (empty when the window system has nothing more to say).
    virtual std::string MutexFailureText() { return {}; }
    virtual std::uint32_t WaitForSingleObject(KernelHandle h, std::uint32_t timeoutMs) = 0;
    virtual void ReleaseMutex(KernelHandle h) = 0;
    virtual void CloseHandle(KernelHandle h) = 0;
    virtual WindowRef OwnAppWindow() = 0;
    virtual WindowRef FindTopLevelWindow(WindowRef after, const std::string& className, const std::string& title) = 0;
    virtual bool IsWindow(WindowRef w) = 0;
    virtual bool IsIconic(WindowRef w) = 0;
    virtual void OpenIcon(WindowRef w) = 0;
    virtual void SetForegroundWindow(WindowRef w) = 0;

protected:
    // The message that carries a pending start's outcome through the loop to the handler.
    Message StartDecidedMessage(std::intptr_t result) {
        Message m;
        m.window = &startTarget_;
        m.message = msg::kStartDecided;
        m.wParam = std::uint64_t(result);
        return m;
    }
    void ReportStartOutcome(std::intptr_t result) {
        if (startOutcome_) startOutcome_(result);
    }

    // The backend has found that the machine slept: the program hears it now.
    void ReportWake() {
        if (OnWake) OnWake();
    }

    EventLoop* loop_ = nullptr;

private:
    class StartTarget : public WindowHandler {
    public:
        explicit StartTarget(Platform& platform) : platform_(platform) {}
        void WndProc(const Message& m) override {
            if (m.message == msg::kStartDecided) platform_.ReportStartOutcome(std::intptr_t(m.wParam));
        }

    private:
        Platform& platform_;
    };
    StartTarget startTarget_{*this};
    std::function<void(std::intptr_t)> startOutcome_;
    NoSleepHold noSleepHold_;
};

}  // namespace vreko
