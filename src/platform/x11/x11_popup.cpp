// The windows of the program's own message box and popup menu on X11. A box is a decorated
// dialog of the shown main window, above it and modal to it, of one fixed size, centred on the
// primary monitor; a menu is an override-redirect window at a point of its owner that holds
// the pointer and the keyboard while it is open.
#include <unistd.h>

#include <algorithm>

#include "platform/x11/x11_platform.h"

namespace vreko::x11 {

namespace {

// _MOTIF_WM_HINTS: a dialog that can be moved and closed, with border, title and window menu.
constexpr long kMwmHintsFunctions = 1L << 0;
constexpr long kMwmHintsDecorations = 1L << 1;
constexpr long kMwmFuncMove = 1L << 2;
constexpr long kMwmFuncClose = 1L << 5;
constexpr long kMwmDecorBorder = 1L << 1;
constexpr long kMwmDecorTitle = 1L << 3;
constexpr long kMwmDecorMenu = 1L << 4;

}  // namespace

X11Window::X11Window(X11Platform& platform, WindowHandler& handler, const PopupDesc& desc)
    : platform_(platform),
      dpy_(platform.display()),
      handler_(handler),
      format_(platform.ScreenFormat()),
      background_(Rgb(240, 240, 240)),
      width_(std::max(1, desc.width)),
      height_(std::max(1, desc.height)),
      topmost_(desc.kind == PopupDesc::Kind::Dialog),
      role_(desc.kind == PopupDesc::Kind::Dialog ? Role::Dialog : Role::Menu) {
    const Atoms& atoms = platform_.atoms();
    const bool menu = role_ == Role::Menu;
    if (menu) {
        // Top-left at the point; where it would leave the monitor it opens to the other side
        // of the point, or is pushed back inside.
        const Point at = desc.owner ? static_cast<X11Window*>(desc.owner)->ClientToRoot(desc.at) : desc.at;
        const Rect m = platform_.PrimaryMonitor();
        pos_ = at;
        if (pos_.x + width_ > m.right) pos_.x = at.x - width_ >= m.left ? at.x - width_ : m.right - width_;
        if (pos_.y + height_ > m.bottom) pos_.y = at.y - height_ >= m.top ? at.y - height_ : m.bottom - height_;
        pos_ = {std::max(pos_.x, m.left), std::max(pos_.y, m.top)};
    } else {
        // The box itself centred: the frame goes around it where it stands.
        gravity_ = StaticGravity;
        Place(desc.placement);
    }
    XSetWindowAttributes attrs{};
    attrs.override_redirect = menu;
    attrs.save_under = menu;
    attrs.background_pixel = platform_.Pixel(background_);
    attrs.border_pixel = 0;
    attrs.colormap = format_.colormap;
    attrs.cursor = platform_.CursorFor(CursorKind::Arrow);
    attrs.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                       PointerMotionMask | EnterWindowMask | LeaveWindowMask | FocusChangeMask | StructureNotifyMask |
                       PropertyChangeMask;
    win_ = XCreateWindow(
        dpy_, platform_.root(), pos_.x, pos_.y, unsigned(width_), unsigned(height_), 0, format_.depth, InputOutput,
        format_.visual,
        CWOverrideRedirect | CWSaveUnder | CWBackPixel | CWBorderPixel | CWColormap | CWCursor | CWEventMask, &attrs);
    parent_ = platform_.root();
    long type = long(XInternAtom(dpy_, menu ? "_NET_WM_WINDOW_TYPE_POPUP_MENU" : "_NET_WM_WINDOW_TYPE_DIALOG", False));
    XChangeProperty(dpy_, win_, atoms.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&type), 1);
    if (!menu) SetDialogProperties(desc);
    platform_.AddWindow(this);
}

void X11Window::SetDialogProperties(const PopupDesc& desc) {
    const Atoms& atoms = platform_.atoms();
    platform_.SetTopLevelProperties(win_, desc.title, "Vreko");
    const Window group = platform_.AppWindow();
    if (XWMHints* hints = XAllocWMHints()) {
        hints->flags = InputHint | StateHint;
        hints->input = True;
        hints->initial_state = NormalState;
        if (group) {
            hints->flags |= WindowGroupHint;
            hints->window_group = group;
        }
        XSetWMHints(dpy_, win_, hints);
        XFree(hints);
    }
    // A dialog of the shown main window; with none shown, of the whole program: transient for
    // its group, which holds the main window, so the window manager keeps the box above that
    // window when it comes back.
    Window owner = desc.owner ? static_cast<X11Window*>(desc.owner)->xid() : platform_.ShownWindow();
    if (owner)
        XSetTransientForHint(dpy_, win_, owner);
    else if (group)
        XSetTransientForHint(dpy_, win_, platform_.root());
    SetNormalHints(true);
    Atom protocols[] = {atoms.wmDeleteWindow};
    XSetWMProtocols(dpy_, win_, protocols, 1);
    long motif[5] = {kMwmHintsFunctions | kMwmHintsDecorations, kMwmFuncMove | kMwmFuncClose,
                     kMwmDecorBorder | kMwmDecorTitle | kMwmDecorMenu, 0, 0};
    XChangeProperty(dpy_, win_, atoms.motifWmHints, atoms.motifWmHints, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(motif), 5);
}

void X11Window::HoldInput() {
    // Every pointer event comes to the menu, wherever it happens, so that a press elsewhere
    // closes the menu and reaches nothing else. Right after a click the window manager may
    // still hold the pointer for a moment: the grab is tried again for about 200 ms.
    constexpr unsigned int kPointerMask =
        ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask | LeaveWindowMask;
    constexpr int kAttempts = 10;
    constexpr useconds_t kPauseUs = 20000;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0) usleep(kPauseUs);
        if (!captured_)
            captured_ = XGrabPointer(dpy_, win_, False, kPointerMask, GrabModeAsync, GrabModeAsync, 0,
                                     platform_.CursorFor(CursorKind::Arrow), CurrentTime) == GrabSuccess;
        if (!keyboardHeld_)
            keyboardHeld_ = XGrabKeyboard(dpy_, win_, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
        if (captured_ && keyboardHeld_) break;
    }
    XFlush(dpy_);
    // Without the keyboard the menu still works with the pointer, and a press elsewhere closes
    // it; without the pointer nothing could close it.
    if (!captured_) handler_.Handle(Event{&handler_, GrabLost{}});
}

Window X11Platform::ShownWindow() const {
    for (const auto& [xid, window] : windows_)
        if (window->Visible() && window->IsMain()) return xid;
    return 0;
}

std::unique_ptr<vreko::Window> X11Platform::CreatePopup(WindowHandler& handler, const PopupDesc& desc) {
    return std::make_unique<X11Window>(*this, handler, desc);
}

std::unique_ptr<Painter> X11Platform::MeasuringPainter() {
    return std::make_unique<X11Painter>(*this, root_, Rect{}, screenFormat_);
}

}  // namespace vreko::x11
