// The X11 backend's event source and the one place where X events become the program's
// typed events: keys, pointer, focus (the program's activation), crossings, exposure and the
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
    // The connection, and the launches being decided beside the program.
    std::vector<pollfd> fds{{ConnectionNumber(dpy_), POLLIN, 0}};
    for (int fd : pendingLaunches_) fds.push_back({fd, POLLIN, 0});
    int timeout = timeoutMs < 0 ? -1 : timeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF : int(timeoutMs);
    poll(fds.data(), nfds_t(fds.size()), timeout);  // EINTR or a time-out: the loop looks again either way
}

bool X11Platform::Next(Event& out) {
    // The loop looks here at least once a second while a timer runs.
    if (sleepWatch_.Look() && appHandler_) {
        out = Event{appHandler_, MachineWoke{}};
        return true;
    }
    while (XPending(dpy_) > 0) {
        XEvent ev;
        XNextEvent(dpy_, &ev);
        if (Translate(ev, out)) return true;
    }
    TakeDecidedLaunches();
    // A window's paint comes when nothing else is queued, as with any window system.
    for (auto& [xid, w] : windows_) {
        Rect area;
        if (w->TakePaint(area)) {
            out = Event{&w->handler(), NeedsPaint{area}};
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

bool X11Platform::IsOwnWindow(Window w) const { return w != 0 && (windows_.count(w) || w == appWindow_); }

// ---- translation ------------------------------------------------------------------------

bool X11Platform::Translate(XEvent& ev, Event& out) {
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
        case KeyRelease: lastTime_ = ev.xkey.time; return TranslateKey(ev.xkey, *w, out);

        case ButtonPress:
        case ButtonRelease:
        case MotionNotify: return TranslatePointer(ev, *w, out);

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
            out = Event{&w->handler(), PointerLeft{}};
            return true;

        case FocusIn:
        case FocusOut:
            if (ev.type == FocusIn && ev.xfocus.detail != NotifyPointer) w->OnFocusIn();
            return TranslateFocus(ev.xfocus, out);

        case PropertyNotify: w->OnProperty(ev.xproperty); return false;

        case Expose: w->OnExpose(ev.xexpose); return false;

        case ConfigureNotify: w->OnConfigure(ev.xconfigure); return false;

        case ReparentNotify: w->OnReparent(ev.xreparent); return false;

        case MapNotify: w->OnMap(); return false;

        case UnmapNotify: w->OnUnmap(); return false;

        case ClientMessage:
            if (Atom(ev.xclient.message_type) == atoms_.wmProtocols &&
                Atom(ev.xclient.data.l[0]) == atoms_.wmDeleteWindow) {
                out = Event{&w->handler(), CloseAsked{}};
                return true;
            }
            return false;

        default: return false;
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

namespace {

// The key that a key event names, not the character it types: the unshifted symbol of the first
// group, except on the keypad, where Num Lock chooses between digits and movement.
KeySym KeyName(XKeyEvent& ev) {
    KeySym sym = XLookupKeysym(&ev, 0);
    if (IsKeypadKey(sym) || (sym >= XK_KP_Home && sym <= XK_KP_Delete)) {
        KeySym withState = NoSymbol;
        char text[8];
        XLookupString(&ev, text, sizeof text, &withState, nullptr);
        if (withState != NoSymbol) sym = withState;
    }
    return sym;
}

Key KeyOf(KeySym sym) {
    switch (sym) {
        case XK_Up:
        case XK_KP_Up: return Key::Up;
        case XK_Down:
        case XK_KP_Down: return Key::Down;
        case XK_Left:
        case XK_KP_Left: return Key::Left;
        case XK_Right:
        case XK_KP_Right: return Key::Right;
        case XK_Escape: return Key::Escape;
        case XK_Menu: return Key::Menu;
        case XK_Return:
        case XK_KP_Enter: return Key::Return;
        case XK_space:
        case XK_KP_Space: return Key::Space;
        case XK_Tab:
        case XK_ISO_Left_Tab:
        case XK_KP_Tab: return Key::Tab;
        default: return Key::Other;
    }
}

}  // namespace

bool X11Platform::TranslateKey(XKeyEvent& ev, X11Window& w, Event& out) {
    const bool press = ev.type == KeyPress;
    const unsigned int code = ev.keycode & 0xFF;
    if (!press && IsAutoRepeatRelease(ev)) return false;  // the press that follows repeats

    const bool repeat = press && keysDown_[code];
    keysDown_[code] = press;
    if (!press) return false;

    // With Alt (and without Ctrl, which makes it an AltGr-like chord) or F10, the window
    // system keeps the key for itself.
    const KeySym sym = KeyName(ev);
    const bool alt = (ev.state & Mod1Mask) || sym == XK_Alt_L || sym == XK_Alt_R || sym == XK_Meta_L ||
                     sym == XK_Meta_R || sym == XK_ISO_Level3_Shift;
    const bool ctrl = (ev.state & ControlMask) || sym == XK_Control_L || sym == XK_Control_R;
    out = Event{&w.handler(), KeyPressed{KeyOf(sym), repeat, (alt && !ctrl) || sym == XK_F10}};
    return true;
}

namespace {

// Buttons and keys held from a core state mask.
HeldKeys HeldOf(unsigned int state) {
    HeldKeys held;
    held.left = state & Button1Mask;
    held.middle = state & Button2Mask;
    held.right = state & Button3Mask;
    held.shift = state & ShiftMask;
    held.control = state & ControlMask;
    return held;
}

// The double-click time and rectangle of a default Windows desktop.
constexpr Time kDoubleClickMs = 500;
constexpr int kDoubleClickHalfSize = 2;  // a 4 by 4 pixel box around the first press

}  // namespace

bool X11Platform::TranslatePointer(XEvent& ev, X11Window& w, Event& out) {
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

    // The backend's own move of a window, when the window manager does not do it.
    if (w.Moving()) {
        constexpr unsigned int kAnyButton = Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask;
        if (ev.type == ButtonRelease || (ev.type == MotionNotify && !(state & kAnyButton)))
            w.EndMove();
        else if (ev.type == MotionNotify)
            w.FollowPointer(rootX, rootY);
        return false;
    }

    HeldKeys held = HeldOf(state);
    const unsigned int button = ev.type == MotionNotify ? 0 : ev.xbutton.button;
    if (ev.type != MotionNotify && (button == Button4 || button == Button5)) {
        if (ev.type == ButtonRelease) return false;
        out = Event{&w.handler(), WheelTurned{button == Button4 ? 1 : -1}};
        return true;
    }
    if (ev.type != MotionNotify && button > Button5) return false;  // horizontal scrolling and extra buttons

    // The window decides which of its points are background to drag it by; a captured pointer
    // always stays in the client area.
    const Area area = !w.Captured() && w.ClientRect().Contains({x, y}) ? w.handler().AreaAt({x, y}) : Area::Client;
    if (ev.type == MotionNotify) {
        // Moves outside the window reach it only through a grab; without the program's capture
        // they belong to whatever lies there.
        if (!w.Captured() && !w.ClientRect().Contains({x, y})) return false;
        out = Event{&w.handler(), PointerMoved{{x, y}, area, held}};
        return true;
    }
    const PointerButton which = button == Button1   ? PointerButton::Left
                                : button == Button3 ? PointerButton::Right
                                                    : PointerButton::Middle;
    bool doubleClick = false;
    (which == PointerButton::Left    ? held.left
     : which == PointerButton::Right ? held.right
                                     : held.middle) = ev.type == ButtonPress;
    if (ev.type == ButtonPress) {
        doubleClick = lastClick_.window == w.xid() && lastClick_.button == button &&
                      time - lastClick_.time <= kDoubleClickMs &&
                      std::abs(rootX - lastClick_.root.x) <= kDoubleClickHalfSize &&
                      std::abs(rootY - lastClick_.root.y) <= kDoubleClickHalfSize;
        // A double-click ends the sequence: a third press is a press again.
        lastClick_ = doubleClick ? Click{} : Click{w.xid(), button, time, {rootX, rootY}};
        // A left press on the background starts the window system's move, as on a caption.
        if (area == Area::Background && which == PointerButton::Left && !doubleClick) w.MoveFromBackground();
    }
    out = Event{&w.handler(), ButtonChanged{which, ev.type == ButtonPress, doubleClick, {x, y}, area, held}};
    return true;
}

bool X11Platform::TranslateFocus(const XFocusChangeEvent& ev, Event& out) {
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
        return false;  // the program hears only of becoming active
    }
    if (!appHandler_) return false;
    out = Event{appHandler_, BecameActive{}};
    return true;
}

}  // namespace vreko::x11
