// The X11 backend: one Xlib connection, the program's top-level windows on it, core
// drawing with Xft text, and the translation of X events into the program's typed events.
// Single-threaded; the program's event loop sleeps in Wait() on the connection's socket.
#pragma once

// The portable headers come first: Xlib defines macros (None, Bool, Status, ...) that would
// otherwise clash with names in them.
#include "platform/platform.h"
#include "platform/posix/named_lock.h"
#include "platform/posix/sleep_hold.h"

// Every X header of the backend is included here, after the portable ones; the backend's
// sources include no X header of their own.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>
#include <fontconfig/fontconfig.h>

#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace vreko::x11 {

// In this backend a Window is the X server's: the program's own is vreko::Window.
using Window = ::Window;

class X11Platform;

struct Atoms {
    Atom wmProtocols = 0;
    Atom wmDeleteWindow = 0;
    Atom wmClientLeader = 0;
    Atom motifWmHints = 0;
    Atom utf8String = 0;
    Atom netWmName = 0;
    Atom netWmState = 0;
    Atom netWmStateAbove = 0;
    Atom netWmWindowType = 0;
    Atom netWmWindowTypeNormal = 0;
    Atom netWmPid = 0;
    Atom netWmUserTime = 0;
    Atom netActiveWindow = 0;
    Atom netWmMoveResize = 0;
    Atom netSupported = 0;
    Atom netSupportingWmCheck = 0;
    Atom netWmStateDemandsAttention = 0;
    Atom wmState = 0;
    Atom netStartupId = 0;
    Atom netStartupInfoBegin = 0;
    Atom netStartupInfo = 0;
    Atom bringForward = 0;  // _VREKO_BRING_FORWARD, sent by a second copy to the app window
    Atom timestamp = 0;     // _VREKO_TIMESTAMP, changed to learn the server's time
    Atom netClientList = 0;
};

// How the pixels of a window are made: its visual, colormap and depth, and the bits of a pixel
// that hold its opacity (none on an ordinary visual).
struct PixelFormat {
    Visual* visual = nullptr;
    Colormap colormap = 0;
    int depth = 0;
    unsigned long alphaMask = 0;
};

// The server time in a startup-notification id ("..._TIME<time>"), or 0 when it has none
// (x11_activation.cpp).
Time StartupIdTime(const std::string& id);
// Whether X server time a is later than b (the clock wraps around after 49.7 days).
inline bool TimeIsLater(Time a, Time b) { return std::int32_t(std::uint32_t(a) - std::uint32_t(b)) > 0; }

// The rows of the rounded-rectangle region CreateRoundRectRgn(box, rx, ry) builds, one
// rectangle per run of equal scanlines, top to bottom (x11_shape.cpp).
std::vector<Rect> RoundRectRegionRows(const Rect& box, int rx, int ry);

// Traps X errors while it lives instead of logging them; Failed() syncs and tells whether
// any request in its lifetime failed. Used for requests on windows that may be gone.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* dpy);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    bool Failed();

private:
    Display* dpy_;
    int errorsBefore_;
};

// Drawing on a window with the core protocol (aliased, like GDI) and Xft for text.
class X11Painter : public Painter {
public:
    // Draws on target, whose pixels are of format; with an outline (rectangles in client
    // coordinates), nothing is drawn outside it.
    X11Painter(X11Platform& platform, Drawable target, Rect area, const PixelFormat& format,
               std::vector<Rect> outline = {});
    ~X11Painter() override;
    X11Painter(const X11Painter&) = delete;
    X11Painter& operator=(const X11Painter&) = delete;

    void SetOrigin(Point origin) override { origin_ = origin; }
    void SetClip(const Rect& clientRect) override;
    void FillRect(const Rect& r, Color c) override;
    void Polygon(const std::vector<Point>& pts, Color fill, Color pen, int penWidth) override;
    void Polyline(const std::vector<Point>& pts, Color pen, int penWidth) override;
    void Ellipse(const Rect& box, Color fill, Color pen, int penWidth) override;
    void Arc(const Rect& box, Point start, Point end, Color pen, int penWidth) override;
    FontMetrics GetFontMetrics(const FontSpec& font) override;
    int TextWidth(const FontSpec& font, std::string_view utf8) override;
    void DrawTextAt(const FontSpec& font, int x, int baselineY, std::string_view utf8, Color c) override;

private:
    void ApplyClip();
    void UsePen(Color c, int width);
    std::vector<XPoint> ToX(const std::vector<Point>& pts) const;

    X11Platform& platform_;
    Display* dpy_;
    Drawable target_;
    const PixelFormat& format_;
    std::vector<Rect> outline_;
    GC gc_ = nullptr;
    XftDraw* draw_ = nullptr;
    Rect area_;
    Rect clip_;
    Point origin_;
};

class X11Window : public vreko::Window {
public:
    // Its base's name aside, a Window is the X server's here too.
    using Window = ::Window;

    X11Window(X11Platform& platform, WindowHandler& handler, const WindowDesc& desc);
    // The window of the program's own box or menu (x11_popup.cpp).
    X11Window(X11Platform& platform, WindowHandler& handler, const PopupDesc& desc);
    ~X11Window() override;
    X11Window(const X11Window&) = delete;
    X11Window& operator=(const X11Window&) = delete;

    void Show(bool activate) override;
    void Hide() override;
    bool Visible() const override { return mapped_; }
    void Place(const Placement& placement) override;
    void Resize(int width, int height) override;
    void Invalidate(const Rect* r) override;
    std::unique_ptr<Painter> Draw(const Rect& area) override;
    void SetCursor(CursorKind kind) override;
    void CapturePointer() override;
    void ReleasePointer() override;
    std::optional<Point> PointerPosition() override;
    bool BeginMove() override;
    void SetRoundedOutline(const Rect& box, int rx, int ry) override;

    // --- used by the platform's event translation ----------------------------------
    Window xid() const { return win_; }
    bool IsMain() const { return role_ == Role::Main; }
    WindowHandler& handler() { return handler_; }
    Point ClientToRoot(Point p) const { return {p.x + pos_.x, p.y + pos_.y}; }
    // The left press on the bare background starts the window manager's move.
    void MoveFromBackground();
    bool Captured() const { return captured_; }
    bool Moving() const { return moving_; }
    Rect ClientRect() const { return {0, 0, width_, height_}; }
    // Takes the pending paint area, if the window is on screen and has one.
    bool TakePaint(Rect& area);
    void OnExpose(const XExposeEvent& ev);
    void OnConfigure(const XConfigureEvent& ev);
    void OnReparent(const XReparentEvent& ev);
    void OnMap();
    void OnUnmap();
    void OnProperty(const XPropertyEvent& ev);
    void OnFocusIn();
    void OnGrabLost() { LoseCapture(); }
    // Whether the window manager keeps it minimised (iconified).
    bool Iconic();
    // Brings a minimised window back from its icon and gives it the focus; nothing otherwise.
    void Restore();
    // The backend's own move loop, used when the window manager offers none.
    void FollowPointer(int rootX, int rootY);
    void EndMove();

private:
    // Forgets a held capture and tells the handler at once, as the window system does.
    void LoseCapture();
    // The move by the window manager (or by the backend without one), from a held left button.
    void StartMove();
    Point QueryRootPosition() const;
    void SetNormalHints(bool withPosition);
    void MapNow(bool activate);
    void RequestFocus();
    void RequestAbove();
    // The activation of a window already on screen: asked of the window manager, and when it
    // refuses, the window is withdrawn and mapped again, which every desktop focuses
    // (x11_activation.cpp).
    void ActivateShown();
    void StopFocusWatch();
    bool DemandsAttention();
    void FocusRefused();
    void Remap();
    void FinishRemap();
    // A box's window manager hints; a menu's hold on the pointer and the keyboard, or GrabLost
    // when it cannot be had (x11_popup.cpp).
    void SetDialogProperties(const PopupDesc& desc);
    void HoldInput();
    // The outline given to a translucent window: its background and what the painters may
    // touch (x11_shape.cpp).
    void PaintOutline(const std::vector<Rect>& rows);

    X11Platform& platform_;
    Display* dpy_;
    WindowHandler& handler_;
    const PixelFormat& format_;
    Color background_;
    std::vector<Rect> outline_;  // on a translucent window: the rectangles painted opaque
    Window win_ = 0;
    Window parent_ = 0;
    int width_;
    int height_;
    bool topmost_;
    enum class Role { Main, Dialog, Menu } role_ = Role::Main;
    int gravity_ = NorthWestGravity;  // how the window manager places the frame around it
    bool keyboardHeld_ = false;       // a menu's grab of the keyboard
    Point pos_;                       // root position of the client area, as last known
    bool mapped_ = false;             // shown, as far as the program is concerned
    bool viewable_ = false;           // the server has mapped it (MapNotify seen)
    bool placeOnMap_ = false;         // pos_ is where the map must put it
    bool activateOnMap_ = false;
    bool captured_ = false;
    bool moving_ = false;
    // Activation of the shown window: waiting for the focus after asking for it; the timer
    // that gives up waiting; withdrawn to be mapped again once the window manager lets go.
    bool awaitingFocus_ = false;
    bool attentionBefore_ = false;  // it demanded attention already when the request went out
    TimerId focusWatch_ = 0;
    bool remapping_ = false;
    TimerId remapWatch_ = 0;
    Point moveGrip_;  // pointer offset from the top-left corner during our own move
    CursorKind cursor_ = CursorKind::Arrow;
    Rect dirty_;  // accumulated invalid area, empty when none
};

class X11Platform : public Platform {
public:
    // Takes ownership of the connection.
    explicit X11Platform(Display* dpy);
    ~X11Platform() override;
    X11Platform(const X11Platform&) = delete;
    X11Platform& operator=(const X11Platform&) = delete;

    // EventSource
    std::int64_t NowMs() override;
    void Wait(std::int64_t timeoutMs) override;
    bool Next(Event& out) override;

    // Platform
    std::string ModuleFileName() override;
    std::unique_ptr<SettingsStore> OpenSettings(const std::string& programPath) override;
    SettingsDefaults DefaultSettings() override;
    Launched Launch(const std::string& file, const std::string& params) override;
    SleepHold& AutomaticSleep() override { return sleepHold_; }
    int ScreenDpi() override;
    std::unique_ptr<vreko::Window> CreateMainWindow(WindowHandler& handler, const WindowDesc& desc) override;
    std::unique_ptr<vreko::Window> CreatePopup(WindowHandler& handler, const PopupDesc& desc) override;
    std::unique_ptr<Painter> MeasuringPainter() override;
    void CreateAppWindow(const std::string& title, EventHandler& handler) override;
    // X has no box or menu of its own: the program draws its own in popup windows.
    bool ShowNativeMessageBox(const std::string&, const std::string&, MessageBoxIcon) override { return false; }
    std::optional<int> NativePopupMenu(vreko::Window&, const std::vector<std::string>&, Point) override {
        return std::nullopt;
    }
    std::unique_ptr<NamedLock> MakeNamedLock(const std::string& name, bool takeNow, LockOpened& how) override;
    std::string LockFailureText() override;
    WindowRef OwnAppWindow() override { return appWindow_; }
    WindowRef FindAppWindow(WindowRef after, const std::string& className, const std::string& title) override;
    bool Exists(WindowRef w) override;
    bool IsMinimised(WindowRef w) override;
    void Restore(WindowRef w, std::uint64_t token) override;
    void BringForward(WindowRef w, std::uint64_t token) override;
    std::uint64_t ForwardToken() override { return LaunchTime(); }
    void FinishPendingLaunches() override;

    // The primary monitor's rectangle on the root window.
    Rect PrimaryMonitor();

    // --- for the backend's windows, painters, and other X11 parts ------------------
    Display* display() const { return dpy_; }
    int screen() const { return screen_; }
    Window root() const { return root_; }
    Visual* visual() const { return screenFormat_.visual; }
    Colormap colormap() const { return screenFormat_.colormap; }
    int depth() const { return screenFormat_.depth; }
    const Atoms& atoms() const { return atoms_; }
    Window AppWindow() const { return appWindow_; }
    // The server time of the last event seen (for requests that want one).
    Time LastEventTime() const { return lastTime_; }
    // Whether keyboard focus is on one of the program's windows.
    bool Active() const { return appActive_; }

    // The screen's own pixel format, and the one of the main window: with alpha where a
    // compositing manager runs, so that the outside of its outline can be see-through even
    // where the compositor ignores window shapes (x11_visual.cpp).
    const PixelFormat& ScreenFormat() const { return screenFormat_; }
    const PixelFormat& MainWindowFormat();
    bool CompositorRunning();

    unsigned long Pixel(Color c, const PixelFormat& format);
    unsigned long Pixel(Color c) { return Pixel(c, screenFormat_); }
    const XftColor* TextColor(Color c, const PixelFormat& format);
    const XftColor* TextColor(Color c) { return TextColor(c, screenFormat_); }
    // The font for request, cached; null only when fontconfig finds no font at all.
    XftFont* Font(const FontSpec& request);
    ::Cursor CursorFor(CursorKind kind);

    // Title (WM_NAME and _NET_WM_NAME), class, process id, machine and client leader of a
    // top-level window of the program.
    void SetTopLevelProperties(Window w, const std::string& title, const char* resClass);

    // The 32-bit items of a property of that type (empty when it has none).
    std::vector<unsigned long> ReadLongs(Window w, Atom property, Atom type, long max);
    // Whether the running window manager lists the atom in _NET_SUPPORTED.
    bool WmSupports(Atom feature);
    // Sends the window manager a request about w: a client message of that type to the root.
    void SendWmRequest(Window w, Atom type, long l0, long l1 = 0, long l2 = 0, long l3 = 0, long l4 = 0);
    // Asks the window manager to change a _NET_WM_STATE of a mapped window (1 add, 0 remove).
    void SendWmState(Window w, long action, Atom state);
    // Asks the window manager to activate w (raise and focus it); without one, focuses it.
    // The request carries the time of the user's latest action known to the program.
    void ActivateWindow(Window w);
    // Asks another copy's application window to bring that copy forward, with the time of
    // its start; restore: its minimised windows come back as well (x11_activation.cpp).
    void SendBringForward(Window appWindow, Time time, bool restore);
    // The startup-notification id this program was launched with (empty when none).
    const std::string& StartupId() const { return startupId_; }
    // Tells the desktop that the launch is complete (its busy feedback ends).
    void CompleteStartup();

    // The main window when it is shown, else 0 (what a box belongs to).
    Window ShownWindow() const;

    // Registration of the program's windows, by their constructor and destructor.
    void AddWindow(X11Window* w) { windows_[w->xid()] = w; }
    void RemoveWindow(X11Window* w);

private:
    // The one place where X events become typed events; false when the event means nothing
    // to the program (it may still update the backend's state).
    bool Translate(XEvent& ev, Event& out);
    bool TranslateKey(XKeyEvent& ev, X11Window& w, Event& out);
    bool TranslatePointer(XEvent& ev, X11Window& w, Event& out);
    bool TranslateFocus(const XFocusChangeEvent& ev, Event& out);
    bool IsOwnWindow(Window w) const;
    bool IsAutoRepeatRelease(const XKeyEvent& ev);
    X11Window* FindWindow(Window w) const;
    void InternAtoms();

    // The time of this start: from the startup-notification id, else the server's time now.
    Time LaunchTime();
    // A bring-forward request from another copy, with the time of that start.
    bool TranslateBringForward(const XClientMessageEvent& ev, Event& out);
    void FreePixelFormats();

    Display* dpy_;
    int screen_;
    Window root_;
    PixelFormat screenFormat_;
    std::optional<PixelFormat> mainFormat_;  // chosen when the main window is first made
    Atoms atoms_;
    std::string startupId_;
    bool startupCompleted_ = false;

    std::map<Window, X11Window*> windows_;
    Window appWindow_ = 0;
    EventHandler* appHandler_ = nullptr;

    // Activation: whether keyboard focus is on one of the program's windows.
    bool appActive_ = false;
    // A bring-forward request has reported the activation already; the focus that follows
    // it before this time does not report it again.
    std::int64_t activationReportedUntil_ = 0;

    // Input state.
    Time lastTime_ = CurrentTime;
    // The time of the start of another copy that asked this one to come forward.
    Time bringForwardTime_ = CurrentTime;
    std::bitset<256> keysDown_;
    bool detectableAutoRepeat_ = false;
    struct Click {
        Window window = 0;
        unsigned int button = 0;
        Time time = 0;
        Point root;
    } lastClick_;

    // Caches.
    std::map<std::pair<const Visual*, Color>, unsigned long> pixels_;
    std::map<std::pair<const PixelFormat*, Color>, XftColor> textColors_;
    std::map<std::tuple<std::string, int, bool, bool>, XftFont*> fonts_;
    std::map<CursorKind, ::Cursor> cursors_;

    // Launches whose outcome is still being decided beside the program (a document's type
    // looked up): the descriptors that carry it, watched by Wait and read by Next.
    std::vector<int> pendingLaunches_;
    void TakeDecidedLaunches();

    // The named locks of the single-instance guard: lock files of the user, one set for each
    // display (x11_instance.cpp), opened at the first use.
    posix::NamedLocks& Locks();
    std::unique_ptr<posix::NamedLocks> locks_;

    // Sleep: the hold asked of the desktop, and the clocks that tell of a sleep.
    posix::DbusSleepHold sleepHold_;
    posix::SleepWatch sleepWatch_;
};

}  // namespace vreko::x11
