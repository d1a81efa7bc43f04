// Coming forward when another copy is started, under desktops that prevent focus stealing.
// Such a desktop grants an activation request only when its time is later than the user's
// last action in the active window. The second start is the user's latest action: that copy
// sends its time (the launch's, from its startup-notification id, else the server's time at
// that moment), and the running copy asks for the activation with it. Where the desktop still
// refuses (it marks the window as demanding attention, or the focus does not come), the window
// is withdrawn and mapped again, which every desktop focuses.

#include <cstring>

#include "platform/x11/x11_platform.h"

namespace vreko::x11 {

namespace {

// How long a refusal may go unsaid before the window is mapped again; a window manager that
// grants the request gives the focus within a few milliseconds.
constexpr int kFocusWaitMs = 500;
// How long the window manager may take to let a withdrawn window go before it is mapped again.
constexpr int kRemapWaitMs = 1000;

}  // namespace

Time StartupIdTime(const std::string& id) {
    // The launcher appends "_TIME" and the time of the user's action that started it.
    const std::size_t at = id.rfind("_TIME");
    if (at == std::string::npos) return CurrentTime;
    const std::string digits = id.substr(at + 5);
    if (digits.empty() || digits.size() > 10) return CurrentTime;
    unsigned long long value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return CurrentTime;
        value = value * 10 + unsigned(c - '0');
    }
    return value > 0xFFFFFFFFULL ? CurrentTime : Time(value);
}

Time X11Platform::LaunchTime() {
    if (const Time t = StartupIdTime(startupId_); t != CurrentTime) return t;
    // A change of a property, even by nothing, is reported with the server's time.
    if (!appWindow_) return lastTime_;
    XSelectInput(dpy_, appWindow_, PropertyChangeMask);
    const unsigned char none = 0;
    XChangeProperty(dpy_, appWindow_, atoms_.timestamp, XA_INTEGER, 8, PropModeAppend, &none, 0);
    XSync(dpy_, False);
    Time t = lastTime_;
    XEvent ev;
    while (XCheckTypedWindowEvent(dpy_, appWindow_, PropertyNotify, &ev))
        if (ev.xproperty.atom == atoms_.timestamp) t = ev.xproperty.time;
    return t;
}

void X11Platform::SendBringForward(Window appWindow, Time time, bool restore) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = appWindow;
    ev.xclient.message_type = atoms_.bringForward;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = long(time);
    ev.xclient.data.l[1] = restore ? 1 : 0;
    // With no event mask the event goes to the client that created the window.
    ErrorTrap trap(dpy_);
    XSendEvent(dpy_, appWindow, False, NoEventMask, &ev);
}

bool X11Platform::TranslateBringForward(const XClientMessageEvent& ev, Event& out) {
    if (Atom(ev.message_type) != atoms_.bringForward) return false;
    const Time t = Time(std::uint32_t(ev.data.l[0]));
    if (t != CurrentTime && (bringForwardTime_ == CurrentTime || TimeIsLater(t, bringForwardTime_)))
        bringForwardTime_ = t;
    // Asked to open its icon: the window system's part, whatever the program makes of the
    // activation that follows.
    if (ev.data.l[1] != 0)
        for (auto& [xid, w] : windows_) w->Restore();
    // The program hears that it has become the active application, unless it is that already.
    if (appActive_ || !appHandler_) return false;
    activationReportedUntil_ = NowMs() + 1000;
    out = Event{appHandler_, AskedForward{std::uint64_t(t)}};
    return true;
}

void X11Platform::ActivateWindow(Window w) {
    if (!WmSupports(atoms_.netActiveWindow)) {
        XSetInputFocus(dpy_, w, RevertToParent, CurrentTime);
        return;
    }
    // The window manager activates it (raise, focus, its own bookkeeping), if the time of the
    // request is not older than the user's last action elsewhere.
    Time t = lastTime_;
    if (bringForwardTime_ != CurrentTime && (t == CurrentTime || TimeIsLater(bringForwardTime_, t)))
        t = bringForwardTime_;
    SendWmRequest(w, atoms_.netActiveWindow, 1 /* from a normal application */, long(t));
}

void X11Platform::CompleteStartup() {
    if (startupCompleted_ || startupId_.empty() || !appWindow_) return;
    startupCompleted_ = true;
    // "remove: ID=<id>", the id quoted, broadcast in pieces of 20 bytes, the first one as the
    // beginning of the message, ending with a NUL.
    std::string text = "remove: ID=\"";
    for (char c : startupId_) {
        if (c == '"' || c == '\\') text += '\\';
        text += c;
    }
    text += '"';
    text += '\0';
    for (std::size_t at = 0; at < text.size(); at += 20) {
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = appWindow_;
        ev.xclient.message_type = at == 0 ? atoms_.netStartupInfoBegin : atoms_.netStartupInfo;
        ev.xclient.format = 8;
        std::memcpy(ev.xclient.data.b, text.data() + at, std::min<std::size_t>(20, text.size() - at));
        XSendEvent(dpy_, root_, False, PropertyChangeMask, &ev);
    }
    XFlush(dpy_);
}

// ---- the main window's side ---------------------------------------------------------------

bool X11Window::Iconic() {
    const Atoms& atoms = platform_.atoms();
    const std::vector<unsigned long> state = platform_.ReadLongs(win_, atoms.wmState, atoms.wmState, 2);
    return !state.empty() && long(state[0]) == IconicState;
}

void X11Window::Restore() {
    if (!mapped_ || viewable_ || remapping_ || !Iconic()) return;
    // A client maps its iconic window to bring it back; the window manager then shows it, and
    // the map's notice asks for the focus.
    activateOnMap_ = true;
    XMapRaised(dpy_, win_);
    XFlush(dpy_);
}

bool X11Window::DemandsAttention() {
    const Atoms& atoms = platform_.atoms();
    for (unsigned long a : platform_.ReadLongs(win_, atoms.netWmState, XA_ATOM, 64))
        if (Atom(a) == atoms.netWmStateDemandsAttention) return true;
    return false;
}

void X11Window::ActivateShown() {
    platform_.ActivateWindow(win_);
    EventLoop* loop = platform_.Loop();
    if (platform_.Active() || awaitingFocus_ || !loop) return;
    awaitingFocus_ = true;
    attentionBefore_ = DemandsAttention();
    if (!focusWatch_) focusWatch_ = loop->AddTimer(kFocusWaitMs, [this] { FocusRefused(); });
    loop->StartTimer(focusWatch_);
}

void X11Window::StopFocusWatch() {
    awaitingFocus_ = false;
    if (EventLoop* loop = platform_.Loop(); loop && focusWatch_) loop->StopTimer(focusWatch_);
}

void X11Window::OnFocusIn() { StopFocusWatch(); }

void X11Window::FocusRefused() {
    if (!awaitingFocus_) return;
    StopFocusWatch();
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(dpy_, &focus, &revert);
    if (focus != win_) Remap();
}

void X11Window::Remap() {
    if (!mapped_ || !viewable_ || remapping_) return;
    if (captured_) ReleasePointer();
    if (moving_) EndMove();
    pos_ = QueryRootPosition();
    placeOnMap_ = true;  // the window manager's letting go does not move it
    remapping_ = true;
    activateOnMap_ = true;
    XWithdrawWindow(dpy_, win_, platform_.screen());
    XFlush(dpy_);
    // It is mapped again once the window manager has let it go; should it never say so, after
    // a while all the same.
    if (EventLoop* loop = platform_.Loop()) {
        if (!remapWatch_) remapWatch_ = loop->AddTimer(kRemapWaitMs, [this] { FinishRemap(); });
        loop->StartTimer(remapWatch_);
    }
}

void X11Window::FinishRemap() {
    if (EventLoop* loop = platform_.Loop(); loop && remapWatch_) loop->StopTimer(remapWatch_);
    if (!remapping_) return;
    remapping_ = false;
    MapNow(true);
    XFlush(dpy_);
}

void X11Window::OnProperty(const XPropertyEvent& ev) {
    const Atoms& atoms = platform_.atoms();
    if (Atom(ev.atom) == atoms.wmState && remapping_) {
        // The window manager has let the window go when it removes WM_STATE or sets it to
        // withdrawn.
        const std::vector<unsigned long> state = ev.state == PropertyNewValue
                                                     ? platform_.ReadLongs(win_, atoms.wmState, atoms.wmState, 2)
                                                     : std::vector<unsigned long>{};
        if (state.empty() || long(state[0]) == WithdrawnState) FinishRemap();
    } else if (Atom(ev.atom) == atoms.netWmState && awaitingFocus_ && ev.state == PropertyNewValue) {
        // KWin says no at once: the window demands attention instead.
        if (!attentionBefore_ && DemandsAttention()) FocusRefused();
    }
}

}  // namespace vreko::x11
