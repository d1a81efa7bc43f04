#include "platform/x11/x11_platform.h"

#include <poll.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/native.h"
#include "platform/posix/settings_file.h"
#include "platform/posix/shell_launch.h"

namespace vreko {

std::unique_ptr<Platform> CreateNativePlatform(std::string& error) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        const char* name = std::getenv("DISPLAY");
        error = std::string("cannot open the X display \"") + (name ? name : "") + "\"";
        return nullptr;
    }
    return std::make_unique<x11::X11Platform>(dpy);
}

namespace x11 {

// ---- X errors ---------------------------------------------------------------------------

namespace {

int g_trapDepth = 0;
int g_trappedErrors = 0;
bool g_errorLogged = false;

// Errors are not fatal: a request on a window that has just gone away, say, must not end the
// program. The first unexpected one is logged; the rest are dropped.
int OnXError(Display* dpy, XErrorEvent* ev) {
    if (g_trapDepth > 0) {
        ++g_trappedErrors;
        return 0;
    }
    if (!g_errorLogged) {
        g_errorLogged = true;
        char text[256] = {};
        XGetErrorText(dpy, ev->error_code, text, sizeof text);
        std::fprintf(stderr, "vreko: X error %s (request %d.%d, resource 0x%lx); later errors are not shown\n", text,
                     ev->request_code, ev->minor_code, ev->resourceid);
    }
    return 0;
}

}  // namespace

ErrorTrap::ErrorTrap(Display* dpy) : dpy_(dpy) {
    XSync(dpy_, False);
    ++g_trapDepth;
    errorsBefore_ = g_trappedErrors;
}

ErrorTrap::~ErrorTrap() {
    XSync(dpy_, False);
    --g_trapDepth;
}

bool ErrorTrap::Failed() {
    XSync(dpy_, False);
    return g_trappedErrors != errorsBefore_;
}

// ---- connection ---------------------------------------------------------------------------

X11Platform::X11Platform(Display* dpy)
    : dpy_(dpy),
      screen_(DefaultScreen(dpy)),
      root_(RootWindow(dpy, screen_)),
      screenFormat_{DefaultVisual(dpy, screen_), DefaultColormap(dpy, screen_), DefaultDepth(dpy, screen_), 0} {
    XSetErrorHandler(OnXError);
    InternAtoms();
    // The launch's id is this program's own: the programs it starts must not take it over.
    if (const char* id = std::getenv("DESKTOP_STARTUP_ID")) startupId_ = id;
    unsetenv("DESKTOP_STARTUP_ID");
    // Held keys then repeat as presses only, without the release X would put between them.
    Bool supported = False;
    detectableAutoRepeat_ = XkbSetDetectableAutoRepeat(dpy_, True, &supported) && supported;
}

X11Platform::~X11Platform() {
    CompleteStartup();  // a copy that ends without a window of its own
    for (auto& [key, font] : fonts_)
        if (font) XftFontClose(dpy_, font);
    FreePixelFormats();
    for (auto& [kind, cursor] : cursors_) XFreeCursor(dpy_, cursor);
    if (appWindow_) XDestroyWindow(dpy_, appWindow_);
    XCloseDisplay(dpy_);
}

void X11Platform::InternAtoms() {
    const char* names[] = {"WM_PROTOCOLS",
                           "WM_DELETE_WINDOW",
                           "WM_CLIENT_LEADER",
                           "_MOTIF_WM_HINTS",
                           "UTF8_STRING",
                           "_NET_WM_NAME",
                           "_NET_WM_STATE",
                           "_NET_WM_STATE_ABOVE",
                           "_NET_WM_WINDOW_TYPE",
                           "_NET_WM_WINDOW_TYPE_NORMAL",
                           "_NET_WM_PID",
                           "_NET_ACTIVE_WINDOW",
                           "_NET_WM_MOVERESIZE",
                           "_NET_SUPPORTED",
                           "_NET_SUPPORTING_WM_CHECK",
                           "_VREKO_BRING_FORWARD",
                           "_NET_WM_USER_TIME",
                           "_NET_WM_STATE_DEMANDS_ATTENTION",
                           "WM_STATE",
                           "_NET_STARTUP_ID",
                           "_NET_STARTUP_INFO_BEGIN",
                           "_NET_STARTUP_INFO",
                           "_VREKO_TIMESTAMP"};
    constexpr int kCount = sizeof names / sizeof names[0];
    Atom a[kCount] = {};
    XInternAtoms(dpy_, const_cast<char**>(names), kCount, False, a);
    atoms_.wmProtocols = a[0];
    atoms_.wmDeleteWindow = a[1];
    atoms_.wmClientLeader = a[2];
    atoms_.motifWmHints = a[3];
    atoms_.utf8String = a[4];
    atoms_.netWmName = a[5];
    atoms_.netWmState = a[6];
    atoms_.netWmStateAbove = a[7];
    atoms_.netWmWindowType = a[8];
    atoms_.netWmWindowTypeNormal = a[9];
    atoms_.netWmPid = a[10];
    atoms_.netActiveWindow = a[11];
    atoms_.netWmMoveResize = a[12];
    atoms_.netSupported = a[13];
    atoms_.netSupportingWmCheck = a[14];
    atoms_.bringForward = a[15];
    atoms_.netWmUserTime = a[16];
    atoms_.netWmStateDemandsAttention = a[17];
    atoms_.wmState = a[18];
    atoms_.netStartupId = a[19];
    atoms_.netStartupInfoBegin = a[20];
    atoms_.netStartupInfo = a[21];
    atoms_.timestamp = a[22];
}

// ---- event source -----------------------------------------------------------------------

std::int64_t X11Platform::NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void X11Platform::Wait(std::int64_t timeoutMs) {
    if (XPending(dpy_) > 0) return;  // flushes the output buffer as well
    pollfd pfd{ConnectionNumber(dpy_), POLLIN, 0};
    int timeout = timeoutMs < 0 ? -1 : timeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF : int(timeoutMs);
    poll(&pfd, 1, timeout);  // EINTR or a time-out: the loop looks again either way
}

bool X11Platform::Next(Message& out) {
    while (XPending(dpy_) > 0) {
        XEvent ev;
        XNextEvent(dpy_, &ev);
        if (Translate(ev, out)) return true;
    }
    // A window's paint comes when nothing else is queued, as with any window system.
    for (auto& [xid, w] : windows_) {
        if (w->TakePaint()) {
            out = Message{};
            out.window = &w->handler();
            out.message = msg::kPaint;
            out.time = std::uint32_t(lastTime_);
            out.pt = lastPointer_;
            return true;
        }
    }
    return false;
}

X11Window* X11Platform::FindWindow(Window w) const {
    auto it = windows_.find(w);
    return it == windows_.end() ? nullptr : it->second;
}

void X11Platform::RemoveWindow(X11Window* w) {
    windows_.erase(w->xid());
    if (lastClick_.window == w->xid()) lastClick_ = Click{};
}

bool X11Platform::IsOwnWindow(Window w) const {
    return w != 0 && (windows_.count(w) || rawWindows_.count(w) || w == appWindow_);
}

Message X11Platform::AppMessage(std::uint32_t message, std::uint64_t wParam) const {
    Message m;
    m.window = appHandler_;
    m.message = message;
    m.wParam = wParam;
    m.time = std::uint32_t(lastTime_);
    m.pt = lastPointer_;
    return m;
}

// ---- translation ------------------------------------------------------------------------

bool X11Platform::Translate(XEvent& ev, Message& out) {
    // Events of the program's other windows (boxes, menus) go to their own filters.
    if (auto raw = rawWindows_.find(ev.xany.window); raw != rawWindows_.end()) {
        if (ev.type == FocusIn || ev.type == FocusOut) {
            Message m;
            if (TranslateFocus(ev.xfocus, m)) {
                out = m;
                return true;
            }
        }
        RawFilter filter = raw->second;  // the filter may remove its own window
        return filter(ev, out);
    }

    if (ev.type == MappingNotify) {
        XRefreshKeyboardMapping(&ev.xmapping);
        return false;
    }

    if (ev.type == ClientMessage && ev.xclient.window == appWindow_ && appWindow_ != 0)
        return TranslateBringForward(ev.xclient, out);

    X11Window* w = FindWindow(ev.xany.window);
    if (!w) return false;

    switch (ev.type) {
        case KeyPress:
        case KeyRelease:
            lastTime_ = ev.xkey.time;
            lastPointer_ = {ev.xkey.x_root, ev.xkey.y_root};
            return TranslateKey(ev.xkey, *w, out);

        case ButtonPress:
        case ButtonRelease:
        case MotionNotify:
            return TranslatePointer(ev, *w, out);

        case LeaveNotify:
            lastTime_ = ev.xcrossing.time;
            // A grab that starts (our capture, the window manager's move) does not move the
            // pointer away; a grab that ends with the pointer elsewhere does.
            if (ev.xcrossing.detail == NotifyInferior) return false;
            if (ev.xcrossing.mode == NotifyGrab) {
                if (w->Captured()) w->OnGrabLost();  // someone else took the pointer
                return false;
            }
            // While the program holds the capture it still gets the pointer's moves; it hears
            // of the leave when it lets go (the crossing of the ungrab).
            if (ev.xcrossing.mode == NotifyNormal && w->Captured()) return false;
            out = Message{};
            out.window = &w->handler();
            out.message = msg::kMouseLeave;
            out.time = std::uint32_t(ev.xcrossing.time);
            out.pt = {ev.xcrossing.x_root, ev.xcrossing.y_root};
            return true;

        case FocusIn:
        case FocusOut:
            if (ev.type == FocusIn && ev.xfocus.detail != NotifyPointer) w->OnFocusIn();
            return TranslateFocus(ev.xfocus, out);

        case PropertyNotify:
            w->OnProperty(ev.xproperty);
            return false;

        case Expose:
            w->OnExpose(ev.xexpose);
            return false;

        case ConfigureNotify:
            w->OnConfigure(ev.xconfigure);
            return false;

        case ReparentNotify:
            w->OnReparent(ev.xreparent);
            return false;

        case MapNotify:
            w->OnMap();
            return false;

        case UnmapNotify:
            w->OnUnmap();
            return false;

        case ClientMessage:
            if (Atom(ev.xclient.message_type) == atoms_.wmProtocols &&
                Atom(ev.xclient.data.l[0]) == atoms_.wmDeleteWindow) {
                out = Message{};
                out.window = &w->handler();
                out.message = msg::kClose;
                out.time = std::uint32_t(lastTime_);
                out.pt = lastPointer_;
                return true;
            }
            return false;

        default:
            return false;
    }
}

bool X11Platform::IsAutoRepeatRelease(const XKeyEvent& ev) {
    // Without detectable auto-repeat X reports a held key as release/press pairs with the same
    // time stamp; the press is already queued when the release is read.
    if (detectableAutoRepeat_ || XEventsQueued(dpy_, QueuedAfterReading) == 0) return false;
    XEvent next;
    XPeekEvent(dpy_, &next);
    return next.type == KeyPress && next.xkey.keycode == ev.keycode && next.xkey.window == ev.window &&
           next.xkey.time - ev.time <= 1;
}

bool X11Platform::TranslateKey(XKeyEvent& ev, X11Window& w, Message& out) {
    const bool press = ev.type == KeyPress;
    const unsigned int code = ev.keycode & 0xFF;
    if (!press && IsAutoRepeatRelease(ev)) return false;  // the press that follows repeats

    const std::uint32_t vk = VirtualKeyOf(ev);
    const bool repeat = press && keysDown_[code];
    keysDown_[code] = press;

    // With Alt (and without Ctrl, which makes it an AltGr-like chord) or F10, the key is a
    // system key, as the Windows keyboard reports it.
    const bool alt = (ev.state & Mod1Mask) || vk == vk::kMenu;
    const bool ctrl = (ev.state & ControlMask) || vk == vk::kControl;
    const bool sys = (alt && !ctrl) || vk == vk::kF1 + 9;

    std::uint32_t lp = 1 | ScanBitsOf(code);
    if (alt) lp |= 1u << 29;
    if (repeat || !press) lp |= 1u << 30;
    if (!press) lp |= 1u << 31;

    out = Message{};
    out.window = &w.handler();
    out.message = press ? (sys ? msg::kSysKeyDown : msg::kKeyDown) : (sys ? msg::kSysKeyUp : msg::kKeyUp);
    out.wParam = vk;
    out.lParam = std::int64_t(lp);
    out.time = std::uint32_t(ev.time);
    out.pt = {ev.x_root, ev.y_root};
    return true;
}

namespace {

// Mouse-key flags from a core state mask (the state before the event).
std::uint32_t MouseKeys(unsigned int state) {
    std::uint32_t keys = 0;
    if (state & Button1Mask) keys |= mk::kLButton;
    if (state & Button2Mask) keys |= mk::kMButton;
    if (state & Button3Mask) keys |= mk::kRButton;
    if (state & ShiftMask) keys |= mk::kShift;
    if (state & ControlMask) keys |= mk::kControl;
    return keys;
}

std::uint32_t ButtonKey(unsigned int button) {
    switch (button) {
        case Button1:
            return mk::kLButton;
        case Button2:
            return mk::kMButton;
        case Button3:
            return mk::kRButton;
        default:
            return 0;
    }
}

// The client message for a press, release or double-click of buttons 1 to 3.
std::uint32_t ButtonMessage(unsigned int button, bool press, bool doubleClick) {
    const std::uint32_t base = button == Button1   ? msg::kLButtonDown
                               : button == Button3 ? msg::kRButtonDown
                                                   : msg::kMButtonDown;
    return press ? (doubleClick ? base + 2 : base) : base + 1;
}

// The non-client counterpart of a client mouse message.
std::uint32_t NonClientMessage(std::uint32_t clientMessage) {
    constexpr std::uint32_t kNcMButtonDblClk = 0x00A9;
    switch (clientMessage) {
        case msg::kMouseMove:
            return msg::kNcMouseMove;
        case msg::kLButtonDown:
            return msg::kNcLButtonDown;
        case msg::kLButtonUp:
            return msg::kNcLButtonUp;
        case msg::kLButtonDblClk:
            return msg::kNcLButtonDblClk;
        case msg::kRButtonDown:
            return msg::kNcRButtonDown;
        case msg::kRButtonUp:
            return msg::kNcRButtonUp;
        case msg::kRButtonDblClk:
            return msg::kNcRButtonDblClk;
        case msg::kMButtonDown:
            return msg::kNcMButtonDown;
        case msg::kMButtonUp:
            return msg::kNcMButtonUp;
        default:
            return kNcMButtonDblClk;
    }
}

// The double-click time and rectangle of a default Windows desktop.
constexpr Time kDoubleClickMs = 500;
constexpr int kDoubleClickHalfSize = 2;  // a 4 by 4 pixel box around the first press

}  // namespace

bool X11Platform::TranslatePointer(XEvent& ev, X11Window& w, Message& out) {
    int x = 0, y = 0, rootX = 0, rootY = 0;
    unsigned int state = 0;
    Time time = 0;
    if (ev.type == MotionNotify) {
        // Only the latest position of a burst of moves matters; a move is never taken past
        // another event, so presses and releases keep their place.
        while (XEventsQueued(dpy_, QueuedAlready) > 0) {
            XEvent next;
            XPeekEvent(dpy_, &next);
            if (next.type != MotionNotify || next.xmotion.window != ev.xmotion.window) break;
            XNextEvent(dpy_, &ev);
        }
        x = ev.xmotion.x, y = ev.xmotion.y, rootX = ev.xmotion.x_root, rootY = ev.xmotion.y_root;
        state = ev.xmotion.state, time = ev.xmotion.time;
    } else {
        x = ev.xbutton.x, y = ev.xbutton.y, rootX = ev.xbutton.x_root, rootY = ev.xbutton.y_root;
        state = ev.xbutton.state, time = ev.xbutton.time;
    }
    lastTime_ = time;
    lastPointer_ = {rootX, rootY};

    // The backend's own move of a window, when the window manager does not do it.
    if (w.Moving()) {
        constexpr unsigned int kAnyButton = Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask;
        if (ev.type == ButtonRelease || (ev.type == MotionNotify && !(state & kAnyButton)))
            w.EndMove();
        else if (ev.type == MotionNotify)
            w.FollowPointer(rootX, rootY);
        return false;
    }

    out = Message{};
    out.window = &w.handler();
    out.time = std::uint32_t(time);
    out.pt = {rootX, rootY};
    std::uint32_t keys = MouseKeys(state);

    const unsigned int button = ev.type == MotionNotify ? 0 : ev.xbutton.button;
    if (ev.type != MotionNotify && (button == Button4 || button == Button5)) {
        if (ev.type == ButtonRelease) return false;
        out.message = msg::kMouseWheel;
        out.wParam = MakeWheelParam(button == Button4 ? 120 : -120, keys);
        out.lParam = MakePointParam(rootX, rootY);
        return true;
    }
    if (ev.type != MotionNotify && button > Button5) return false;  // horizontal scrolling and extra buttons

    bool doubleClick = false;
    if (ev.type == MotionNotify) {
        // Moves outside the window reach it only through a grab; without the program's capture
        // they belong to whatever lies there.
        if (!w.Captured() && !w.ClientRect().Contains({x, y})) return false;
        out.message = msg::kMouseMove;
    } else if (ev.type == ButtonPress) {
        keys |= ButtonKey(button);
        doubleClick = lastClick_.window == w.xid() && lastClick_.button == button &&
                      time - lastClick_.time <= kDoubleClickMs &&
                      std::abs(rootX - lastClick_.root.x) <= kDoubleClickHalfSize &&
                      std::abs(rootY - lastClick_.root.y) <= kDoubleClickHalfSize;
        // A double-click ends the sequence: a third press is a press again.
        lastClick_ = doubleClick ? Click{} : Click{w.xid(), button, time, {rootX, rootY}};
        lastPress_ = Press{button, {rootX, rootY}, time};
        out.message = ButtonMessage(button, true, doubleClick);
    } else {
        keys &= ~ButtonKey(button);
        out.message = ButtonMessage(button, false, false);
    }
    out.wParam = keys;
    out.lParam = MakePointParam(x, y);

    // The window decides which of its points are a caption to drag it by; a captured pointer
    // always stays in the client area.
    if (!w.Captured() && w.ClientRect().Contains({x, y}) && w.handler().NcHitTest({x, y}) == kHtCaption) {
        out.message = NonClientMessage(out.message);
        out.wParam = std::uint64_t(kHtCaption);
        out.lParam = MakePointParam(rootX, rootY);
        // A left press on a caption starts the window system's move, as on Windows.
        if (ev.type == ButtonPress && button == Button1 && !doubleClick) w.BeginMoveDrag();
    }
    return true;
}

bool X11Platform::TranslateFocus(const XFocusChangeEvent& ev, Message& out) {
    // Focus changes for keyboard grabs (a window manager's key binding, say) are not switches
    // between applications, and neither are moves inside one window.
    if (ev.mode == NotifyGrab || ev.mode == NotifyUngrab) return false;
    if (ev.detail == NotifyInferior || ev.detail == NotifyPointer || ev.detail == NotifyPointerRoot ||
        ev.detail == NotifyDetailNone)
        return false;

    if (ev.type == FocusIn) {
        if (appActive_) return false;  // from another of the program's windows
        appActive_ = true;
        if (NowMs() < activationReportedUntil_) return false;  // the bring-forward told it already
    } else {
        keysDown_.reset();
        if (!appActive_) return false;
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(dpy_, &focus, &revert);
        if (IsOwnWindow(focus)) return false;  // to another of the program's windows
        appActive_ = false;
    }
    if (!appHandler_) return false;
    out = AppMessage(msg::kActivateApp, ev.type == FocusIn ? 1 : 0);
    return true;
}

// ---- window manager -----------------------------------------------------------------------

std::vector<unsigned long> X11Platform::ReadLongs(Window w, Atom property, Atom type, long max) {
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> items;
    if (XGetWindowProperty(dpy_, w, property, 0, max, False, type, &actual, &format, &count, &after, &data) ==
            Success &&
        data && actual == type && format == 32) {
        const auto* list = reinterpret_cast<unsigned long*>(data);
        items.assign(list, list + count);
    }
    if (data) XFree(data);
    return items;
}

bool X11Platform::WmSupports(Atom feature) {
    // A window manager that is running names its check window on the root and on itself.
    auto readWindow = [this](Window on) -> Window {
        const std::vector<unsigned long> w = ReadLongs(on, atoms_.netSupportingWmCheck, XA_WINDOW, 1);
        return w.size() == 1 ? Window(w[0]) : 0;
    };
    Window check = readWindow(root_);
    if (!check) return false;
    {
        ErrorTrap trap(dpy_);
        if (readWindow(check) != check || trap.Failed()) return false;
    }
    for (unsigned long a : ReadLongs(root_, atoms_.netSupported, XA_ATOM, 4096))
        if (Atom(a) == feature) return true;
    return false;
}

void X11Platform::SendWmRequest(Window w, Atom type, long l0, long l1, long l2, long l3, long l4) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = type;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = l0;
    ev.xclient.data.l[1] = l1;
    ev.xclient.data.l[2] = l2;
    ev.xclient.data.l[3] = l3;
    ev.xclient.data.l[4] = l4;
    XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
}

void X11Platform::SendWmState(Window w, long action, Atom state) {
    SendWmRequest(w, atoms_.netWmState, action, long(state), 0, 1 /* from a normal application */);
}

// ---- screen -------------------------------------------------------------------------------

Rect X11Platform::PrimaryMonitor() {
    const Rect whole{0, 0, DisplayWidth(dpy_, screen_), DisplayHeight(dpy_, screen_)};
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(dpy_, &eventBase, &errorBase) || !XRRQueryVersion(dpy_, &major, &minor) ||
        major * 100 + minor < 105)
        return whole;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(dpy_, root_, True, &count);
    if (!monitors) return whole;
    Rect result = whole;
    if (count > 0) {
        int pick = 0;
        for (int i = 0; i < count; ++i)
            if (monitors[i].primary) {
                pick = i;
                break;
            }
        const XRRMonitorInfo& m = monitors[pick];
        result = {m.x, m.y, m.x + m.width, m.y + m.height};
    }
    XRRFreeMonitors(monitors);
    return result;
}

Point X11Platform::CursorPos() {
    Window rootReturn = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int mask = 0;
    if (XQueryPointer(dpy_, root_, &rootReturn, &child, &rootX, &rootY, &x, &y, &mask)) return {rootX, rootY};
    return {-32768, -32768};  // the pointer is on another screen
}

int X11Platform::ScreenDpi() {
    // The desktop's font resolution, as Xft reads it; 96 when none is set.
    int dpi = 96;
    const char* resources = XResourceManagerString(dpy_);
    if (!resources) return dpi;
    XrmInitialize();
    XrmDatabase db = XrmGetStringDatabase(resources);
    if (!db) return dpi;
    char* type = nullptr;
    XrmValue value{};
    if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
        double d = std::atof(value.addr);
        if (d >= 24 && d <= 960) dpi = int(std::lround(d));
    }
    XrmDestroyDatabase(db);
    return dpi;
}

// ---- the program and the shell ----------------------------------------------------------

std::string X11Platform::ModuleFileName() {
    std::string path(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0) return {};
    path.resize(std::size_t(n));
    return path;
}

std::unique_ptr<SettingsStore> X11Platform::OpenSettings(const std::string& programPath) {
    return posix::OpenSettingsFile(programPath);
}

SettingsDefaults X11Platform::DefaultSettings() { return posix::DefaultSettings(); }

std::intptr_t X11Platform::StartFile(const std::string& file, const std::string& params) {
    XFlush(dpy_);  // the started program should find the screen as the user sees it
    return posix::StartFile(file, params);
}

// ---- windows --------------------------------------------------------------------------------

std::unique_ptr<NativeWindow> X11Platform::CreateMainWindow(NativeWindowHandler& handler, const WindowDesc& desc) {
    return std::make_unique<X11Window>(*this, handler, desc);
}

void X11Platform::CreateAppWindow(const std::string& title, WindowHandler& handler) {
    appHandler_ = &handler;
    if (appWindow_) return;
    const Rect m = PrimaryMonitor();
    XSetWindowAttributes attrs{};
    appWindow_ = XCreateWindow(dpy_, root_, m.left + m.Width() / 2, m.top + m.Height() / 2, 1, 1, 0, CopyFromParent,
                               InputOutput, CopyFromParent, 0, &attrs);

    SetTopLevelProperties(appWindow_, title, "TApplication");
    XFlush(dpy_);
}

void X11Platform::SetTopLevelProperties(Window w, const std::string& title, const char* resClass) {
    // The title as legacy text when it is plain ASCII, and as UTF-8 for current desktops.
    bool ascii = true;
    for (unsigned char c : title) ascii = ascii && c < 0x80;
    const auto* bytes = reinterpret_cast<const unsigned char*>(title.data());
    XChangeProperty(dpy_, w, XA_WM_NAME, ascii ? XA_STRING : atoms_.utf8String, 8, PropModeReplace, bytes,
                    int(title.size()));
    XChangeProperty(dpy_, w, atoms_.netWmName, atoms_.utf8String, 8, PropModeReplace, bytes, int(title.size()));

    std::string resName = "vreko", resClassText = resClass;
    XClassHint cls{};
    cls.res_name = resName.data();
    cls.res_class = resClassText.data();
    XSetClassHint(dpy_, w, &cls);

    // The process id is only meaningful together with the machine it runs on.
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) {
        char* list[] = {host};
        XTextProperty machine{};
        if (XStringListToTextProperty(list, 1, &machine)) {
            XSetWMClientMachine(dpy_, w, &machine);
            XFree(machine.value);
        }
        long pid = long(getpid());
        XChangeProperty(dpy_, w, atoms_.netWmPid, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&pid), 1);
    }
    if (appWindow_) {
        unsigned long leader = appWindow_;
        XChangeProperty(dpy_, w, atoms_.wmClientLeader, XA_WINDOW, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&leader), 1);
    }
}

// ---- caches ---------------------------------------------------------------------------------

::Cursor X11Platform::CursorFor(CursorKind kind) {
    if (auto it = cursors_.find(kind); it != cursors_.end()) return it->second;
    ::Cursor cursor = XCreateFontCursor(dpy_, kind == CursorKind::Hand ? XC_hand2 : XC_left_ptr);
    cursors_[kind] = cursor;
    return cursor;
}

}  // namespace x11
}  // namespace vreko
