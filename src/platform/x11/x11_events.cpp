// The X11 backend's event source and the one place where X events become the program's
// messages: keys, pointer, focus (the program's activation), crossings, exposure and the
// window manager's notices.
#include "platform/x11/x11_platform.h"

#include <poll.h>

#include <cstdlib>
#include <ctime>

namespace vreko::x11 {

// ---- event source -----------------------------------------------------------------------

std::int64_t X11Platform::NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void X11Platform::Wait(std::int64_t timeoutMs) {
    if (XPending(dpy_) > 0) return;  // flushes the output buffer as well
    // The connection, and the starts being decided beside the program.
    std::vector<pollfd> fds{{ConnectionNumber(dpy_), POLLIN, 0}};
    for (int fd : pendingStarts_) fds.push_back({fd, POLLIN, 0});
    int timeout = timeoutMs < 0 ? -1 : timeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF : int(timeoutMs);
    poll(fds.data(), nfds_t(fds.size()), timeout);  // EINTR or a time-out: the loop looks again either way
}

bool X11Platform::Next(Message& out) {
    // The loop looks here at least once a second while a timer runs.
    if (sleepWatch_.Look()) ReportWake();
    while (XPending(dpy_) > 0) {
        XEvent ev;
        XNextEvent(dpy_, &ev);
        if (Translate(ev, out)) return true;
    }
    if (TakeDecidedStart(out)) return true;
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

}  // namespace vreko::x11
