// The program's main window on X11: an undecorated, always-on-top top-level window that the
// window manager manages (so it gets focus and a taskbar entry) but does not frame.

#include <algorithm>

#include "platform/x11/x11_platform.h"

namespace vreko::x11 {

namespace {

Rect Intersect(const Rect& a, const Rect& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

Rect Union(const Rect& a, const Rect& b) {
    if (a.Empty()) return b;
    if (b.Empty()) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

// _MOTIF_WM_HINTS: flags, functions, decorations, input mode, status.
constexpr long kMwmHintsDecorations = 1L << 1;

// _NET_WM_MOVERESIZE direction for a move by the pointer.
constexpr long kNetWmMoveResizeMove = 8;

}  // namespace

X11Window::X11Window(X11Platform& platform, WindowHandler& handler, const WindowDesc& desc)
    : platform_(platform),
      dpy_(platform.display()),
      handler_(handler),
      format_(platform.MainWindowFormat()),
      background_(desc.background),
      width_(std::max(1, desc.width)),
      height_(std::max(1, desc.height)),
      topmost_(desc.topmost) {
    Place(desc.placement);
    const Atoms& atoms = platform_.atoms();
    XSetWindowAttributes attrs{};
    // A translucent window is see-through until its outline is given.
    attrs.background_pixel = format_.alphaMask ? 0 : platform_.Pixel(background_, format_);
    attrs.border_pixel = 0;
    attrs.bit_gravity = NorthWestGravity;
    attrs.colormap = format_.colormap;
    attrs.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                       PointerMotionMask | EnterWindowMask | LeaveWindowMask | FocusChangeMask | StructureNotifyMask |
                       PropertyChangeMask;
    win_ = XCreateWindow(dpy_, platform_.root(), pos_.x, pos_.y, unsigned(width_), unsigned(height_), 0, format_.depth,
                         InputOutput, format_.visual,
                         CWBackPixel | CWBorderPixel | CWBitGravity | CWColormap | CWEventMask, &attrs);
    parent_ = platform_.root();

    platform_.SetTopLevelProperties(win_, desc.title, "Vreko");
    // The window belongs to the launch the desktop is showing feedback for.
    if (const std::string& id = platform_.StartupId(); !id.empty())
        XChangeProperty(dpy_, win_, atoms.netStartupId, atoms.utf8String, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(id.data()), int(id.size()));

    XWMHints* hints = XAllocWMHints();
    if (hints) {
        hints->flags = InputHint | StateHint;
        hints->input = True;
        hints->initial_state = NormalState;
        if (platform_.AppWindow()) {
            hints->flags |= WindowGroupHint;
            hints->window_group = platform_.AppWindow();
        }
        XSetWMHints(dpy_, win_, hints);
        XFree(hints);
    }
    SetNormalHints(true);

    Atom protocols[] = {atoms.wmDeleteWindow};
    XSetWMProtocols(dpy_, win_, protocols, 1);

    long motif[5] = {kMwmHintsDecorations, 0, 0, 0, 0};  // no decorations at all
    XChangeProperty(dpy_, win_, atoms.motifWmHints, atoms.motifWmHints, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(motif), 5);
    long type = long(atoms.netWmWindowTypeNormal);
    XChangeProperty(dpy_, win_, atoms.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&type), 1);

    platform_.AddWindow(this);
}

X11Window::~X11Window() {
    if (EventLoop* loop = platform_.Loop()) {
        if (focusWatch_) loop->RemoveTimer(focusWatch_);
        if (remapWatch_) loop->RemoveTimer(remapWatch_);
    }
    platform_.RemoveWindow(this);
    if (captured_ || moving_) XUngrabPointer(dpy_, CurrentTime);
    if (keyboardHeld_) XUngrabKeyboard(dpy_, CurrentTime);
    XDestroyWindow(dpy_, win_);
    XFlush(dpy_);
}

void X11Window::SetNormalHints(bool withPosition) {
    XSizeHints* size = XAllocSizeHints();
    if (!size) return;
    // A fixed size; the position is the program's own choice, which the window manager keeps.
    size->flags = PMinSize | PMaxSize | PWinGravity;
    size->min_width = size->max_width = width_;
    size->min_height = size->max_height = height_;
    size->win_gravity = gravity_;
    if (withPosition) {
        size->flags |= USPosition | PPosition;
        size->x = pos_.x;
        size->y = pos_.y;
    }
    XSetWMNormalHints(dpy_, win_, size);
    XFree(size);
}

Point X11Window::QueryRootPosition() const {
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(dpy_, win_, platform_.root(), 0, 0, &x, &y, &child)) return pos_;
    return {x, y};
}

// ---- showing and hiding -----------------------------------------------------------------

void X11Window::Show(bool activate) {
    if (!mapped_) {
        MapNow(activate);
        if (role_ == Role::Menu) HoldInput();
    } else if (!viewable_ || remapping_) {
        activateOnMap_ = activateOnMap_ || activate;  // the map under way will do it
        // Minimised by the user: mapped again, it comes back from its icon.
        if (!remapping_ && Iconic()) XMapRaised(dpy_, win_);
    } else if (activate) {
        // The activation raises it; a raise of its own before would be refused by a desktop
        // that prevents focus stealing, which then only marks the window.
        RequestAbove();
        ActivateShown();
    } else {
        XRaiseWindow(dpy_, win_);
        RequestAbove();
    }
    XFlush(dpy_);
}

void X11Window::MapNow(bool activate) {
    const Atoms& atoms = platform_.atoms();
    // Back where it was: where it was placed, or where the user last dragged it.
    SetNormalHints(true);
    XMoveWindow(dpy_, win_, pos_.x, pos_.y);
    // The window manager reads the initial state at the map (and drops it at a withdraw).
    std::vector<long> states;
    if (topmost_) states.push_back(long(atoms.netWmStateAbove));
    if (role_ == Role::Dialog) states.push_back(long(XInternAtom(dpy_, "_NET_WM_STATE_MODAL", False)));
    if (!states.empty())
        XChangeProperty(dpy_, win_, atoms.netWmState, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(states.data()), int(states.size()));
    else
        XDeleteProperty(dpy_, win_, atoms.netWmState);
    // A user time of 0 asks the window manager not to focus the window when it maps it.
    if (activate) {
        XDeleteProperty(dpy_, win_, atoms.netWmUserTime);
    } else {
        long never = 0;
        XChangeProperty(dpy_, win_, atoms.netWmUserTime, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&never), 1);
    }
    XMapRaised(dpy_, win_);
    mapped_ = true;
    placeOnMap_ = true;
    activateOnMap_ = activate;
}

void X11Window::Hide() {
    if (!mapped_) return;
    StopFocusWatch();
    if (remapping_) {
        // Withdrawn already, to be mapped again: it simply stays away.
        remapping_ = false;
        mapped_ = false;
        activateOnMap_ = false;
        return;
    }
    if (captured_) ReleasePointer();
    if (moving_) EndMove();
    if (viewable_) pos_ = QueryRootPosition();
    // Unmap plus the synthetic UnmapNotify that tells the window manager to let it go.
    XWithdrawWindow(dpy_, win_, platform_.screen());
    mapped_ = false;
    placeOnMap_ = false;
    activateOnMap_ = false;
    XFlush(dpy_);
}

void X11Window::RequestAbove() {
    if (topmost_ && viewable_)
        platform_.SendWmState(win_, 1 /* _NET_WM_STATE_ADD */, platform_.atoms().netWmStateAbove);
}

void X11Window::RequestFocus() {
    if (viewable_) platform_.ActivateWindow(win_);
}

void X11Window::OnMap() {
    viewable_ = true;
    platform_.CompleteStartup();
    if (placeOnMap_) {
        // A window manager that placed it elsewhere is told again where it belongs.
        placeOnMap_ = false;
        const Point wanted = pos_;
        const Point actual = QueryRootPosition();
        if (!(actual == wanted)) XMoveWindow(dpy_, win_, wanted.x, wanted.y);
        pos_ = wanted;
    }
    RequestAbove();
    if (activateOnMap_) {
        activateOnMap_ = false;
        RequestFocus();
    }
}

void X11Window::OnUnmap() {
    viewable_ = false;
    moving_ = false;
    LoseCapture();  // an unmapped window loses its grab
    // Only the window manager unmaps an open box: it was minimised (a message box cannot be),
    // and the program would wait on a box nobody sees. It comes back, with the keyboard.
    if (role_ == Role::Dialog && mapped_) {
        activateOnMap_ = true;
        XMapRaised(dpy_, win_);
    }
}

void X11Window::OnConfigure(const XConfigureEvent& ev) {
    // While hidden, or until the map has put it in place, the remembered position stands.
    if (!mapped_ || placeOnMap_) return;
    if (ev.send_event || parent_ == platform_.root())
        pos_ = {ev.x, ev.y};  // the window manager's notice is in root coordinates
    else
        pos_ = QueryRootPosition();  // relative to a frame: ask where that is
}

void X11Window::OnReparent(const XReparentEvent& ev) { parent_ = ev.parent; }

void X11Window::Place(const Placement& placement) {
    if (placement.centred) {
        const Rect screen = platform_.PrimaryMonitor();
        pos_ = {screen.left + std::max(0, (screen.Width() - width_) / 2),
                screen.top + std::max(0, (screen.Height() - height_) / 2)};
    } else {
        pos_ = placement.at;
    }
    if (!win_) return;  // being made: the window starts there
    SetNormalHints(true);
    XMoveWindow(dpy_, win_, pos_.x, pos_.y);
    XFlush(dpy_);
}

void X11Window::Resize(int width, int height) {
    if (mapped_ && viewable_) pos_ = QueryRootPosition();
    pos_ = {pos_.x + width_ / 2 - width / 2, pos_.y + height_ / 2 - height / 2};
    width_ = std::max(1, width);
    height_ = std::max(1, height);
    SetNormalHints(true);
    XMoveResizeWindow(dpy_, win_, pos_.x, pos_.y, unsigned(width_), unsigned(height_));
    XFlush(dpy_);
}

// ---- painting -----------------------------------------------------------------------------

void X11Window::Invalidate(const Rect* r) {
    const Rect area = r ? Intersect(*r, ClientRect()) : ClientRect();
    if (!area.Empty()) dirty_ = Union(dirty_, area);
}

void X11Window::OnExpose(const XExposeEvent& ev) {
    const Rect r{ev.x, ev.y, ev.x + ev.width, ev.y + ev.height};
    Invalidate(&r);
}

bool X11Window::TakePaint(Rect& area) {
    if (!mapped_ || !viewable_ || dirty_.Empty()) return false;
    area = dirty_;
    dirty_ = {};
    return true;
}

std::unique_ptr<Painter> X11Window::Draw(const Rect& area) {
    // The requests go out when the loop next waits, or at once when it must (x11_painter.cpp).
    if (!mapped_) return nullptr;
    return std::make_unique<X11Painter>(platform_, win_, Intersect(area, ClientRect()), format_, outline_);
}

// ---- pointer ------------------------------------------------------------------------------

void X11Window::SetCursor(CursorKind kind) {
    if (kind == cursor_) return;
    cursor_ = kind;
    XDefineCursor(dpy_, win_, platform_.CursorFor(kind));
}

void X11Window::CapturePointer() {
    if (captured_ || !viewable_) return;
    // Moves and releases come to this window wherever the pointer goes, as client input.
    const unsigned int mask =
        ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask | LeaveWindowMask;
    captured_ = XGrabPointer(dpy_, win_, False, mask, GrabModeAsync, GrabModeAsync, 0, platform_.CursorFor(cursor_),
                             CurrentTime) == GrabSuccess;
}

void X11Window::ReleasePointer() {
    if (!captured_) return;
    XUngrabPointer(dpy_, CurrentTime);
    XFlush(dpy_);
    LoseCapture();
}

void X11Window::LoseCapture() {
    if (!captured_) return;
    captured_ = false;
    handler_.Handle(Event{&handler_, GrabLost{}});
}

std::optional<Point> X11Window::PointerPosition() {
    Window rootReturn = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int mask = 0;
    // False: the pointer is on another screen.
    if (!XQueryPointer(dpy_, win_, &rootReturn, &child, &rootX, &rootY, &x, &y, &mask)) return std::nullopt;
    return Point{x, y};
}

bool X11Window::BeginMove() {
    // Only a left press being handled moves the window (the press's serial, on Wayland).
    if (!DispatchingLeftPress(platform_.Loop(), handler_)) return false;
    StartMove();
    return true;
}

void X11Window::MoveFromBackground() { StartMove(); }

void X11Window::StartMove() {
    if (!viewable_) return;
    Window rootReturn = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(dpy_, win_, &rootReturn, &child, &rootX, &rootY, &x, &y, &mask)) return;

    // Like a press on a caption, the move follows the left button only: a right press keeps
    // its release, which opens the context menu.
    const unsigned int button = (mask & Button1Mask) ? Button1 : 0;

    // Whatever grab we hold (the capture, or the press's own) must go, or the window manager
    // cannot take the pointer.
    XUngrabPointer(dpy_, CurrentTime);
    LoseCapture();
    // A move starts from a held button and ends at its release. When the button is up already
    // (a quick click), there is nothing to follow: a window manager would otherwise wait for
    // a release that never comes and drag the window along with the next pointer moves.
    if (!button) {
        XFlush(dpy_);
        return;
    }

    const Atoms& atoms = platform_.atoms();
    if (platform_.WmSupports(atoms.netWmMoveResize)) {
        platform_.SendWmRequest(win_, atoms.netWmMoveResize, rootX, rootY, kNetWmMoveResizeMove, long(button),
                                1 /* from a normal application */);
    } else {
        // No window manager to do it: the window follows the pointer until the release.
        const unsigned int eventMask = ButtonReleaseMask | PointerMotionMask;
        if (XGrabPointer(dpy_, win_, False, eventMask, GrabModeAsync, GrabModeAsync, 0, 0, CurrentTime) ==
            GrabSuccess) {
            moving_ = true;
            pos_ = QueryRootPosition();
            moveGrip_ = {rootX - pos_.x, rootY - pos_.y};
        }
    }
    XFlush(dpy_);
}

void X11Window::FollowPointer(int rootX, int rootY) {
    pos_ = {rootX - moveGrip_.x, rootY - moveGrip_.y};
    XMoveWindow(dpy_, win_, pos_.x, pos_.y);
}

void X11Window::EndMove() {
    if (!moving_) return;
    moving_ = false;
    XUngrabPointer(dpy_, CurrentTime);
    XFlush(dpy_);
}

}  // namespace vreko::x11
