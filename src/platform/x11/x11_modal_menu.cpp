// The popup menu on X11: an override-redirect window with one line per item that holds the
// pointer and keyboard while it is open, and runs the program's loop until an item is chosen or
// the menu is dismissed.
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/x11/x11_modal.h"

namespace vreko::x11 {

namespace {

constexpr Color kMenuFace = Rgb(240, 240, 240);
constexpr Color kMenuBorder = Rgb(151, 151, 151);
constexpr Color kMenuText = colors::kBlack;
constexpr Color kHighlight = Rgb(0, 0, 128);  // navy bar, white text
constexpr Color kHighlightText = colors::kWhite;

constexpr int kNoItem = -1;

class PopupMenuWindow {
public:
    PopupMenuWindow(X11Platform& platform, const std::vector<std::string>& items, Point screen);
    ~PopupMenuWindow();
    PopupMenuWindow(const PopupMenuWindow&) = delete;
    PopupMenuWindow& operator=(const PopupMenuWindow&) = delete;

    // Takes the pointer and the keyboard; false when the pointer cannot be had.
    bool Grab();
    bool Done() const { return done_; }
    int Choice() const { return choice_; }

private:
    void OnEvent(XEvent& ev);
    int ItemAt(int x, int y) const;
    Rect ItemRect(int index) const;
    void Select(int index);
    void Step(int delta);
    void Finish(int choice);
    void Draw();

    X11Platform& platform_;
    Display* dpy_;
    DialogFont font_;
    DialogScale scale_;
    std::vector<std::string> items_;
    int width_ = 0;
    int height_ = 0;
    int itemHeight_ = 0;
    int inset_ = 0;  // from the window's edge to the item bars
    int textLeft_ = 0;

    Window win_ = 0;
    std::unique_ptr<BackBuffer> buffer_;
    bool pointerGrabbed_ = false;
    bool keyboardGrabbed_ = false;
    int selected_ = kNoItem;
    int choice_ = kNoItem;
    bool done_ = false;
};

PopupMenuWindow::PopupMenuWindow(X11Platform& platform, const std::vector<std::string>& items, Point screen)
    : platform_(platform), dpy_(platform.display()), font_(platform), scale_(platform.ScreenDpi()) {
    const DialogScale& s = scale_;
    int textWidth = 0;
    for (const std::string& item : items) {
        items_.push_back(ValidUtf8(item));
        textWidth = std::max(textWidth, font_.Width(items_.back()));
    }
    inset_ = 1 + s(2);  // the frame line, then a small margin
    itemHeight_ = std::max(s(22), font_.LineHeight() + s(6));
    textLeft_ = s(20);
    width_ = std::max(2 * inset_ + textLeft_ + textWidth + s(24), s(100));
    height_ = 2 * inset_ + int(items_.size()) * itemHeight_;

    // Top-left at the point; where it would leave the monitor it opens to the other side of the
    // point, or is pushed back inside.
    const Rect m = platform_.PrimaryMonitor();
    Point p = screen;
    if (p.x + width_ > m.right) p.x = screen.x - width_ >= m.left ? screen.x - width_ : m.right - width_;
    if (p.y + height_ > m.bottom) p.y = screen.y - height_ >= m.top ? screen.y - height_ : m.bottom - height_;
    p.x = std::max(p.x, m.left);
    p.y = std::max(p.y, m.top);

    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;
    attrs.save_under = True;
    attrs.background_pixel = platform_.Pixel(kMenuFace);
    attrs.border_pixel = 0;
    attrs.colormap = platform_.colormap();
    attrs.cursor = platform_.CursorFor(CursorKind::Arrow);
    attrs.event_mask =
        ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | StructureNotifyMask;
    win_ = XCreateWindow(
        dpy_, platform_.root(), p.x, p.y, unsigned(width_), unsigned(height_), 0, platform_.depth(), InputOutput,
        platform_.visual(),
        CWOverrideRedirect | CWSaveUnder | CWBackPixel | CWBorderPixel | CWColormap | CWCursor | CWEventMask, &attrs);
    // For compositors and screen readers: what kind of window this is.
    long type = long(XInternAtom(dpy_, "_NET_WM_WINDOW_TYPE_POPUP_MENU", False));
    XChangeProperty(dpy_, win_, platform_.atoms().netWmWindowType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&type), 1);

    buffer_ = std::make_unique<BackBuffer>(platform_, win_, width_, height_);
    Draw();
    platform_.AddRawWindow(win_, [this](XEvent& ev) { OnEvent(ev); });
    XMapRaised(dpy_, win_);
    buffer_->Present();
}

PopupMenuWindow::~PopupMenuWindow() {
    if (keyboardGrabbed_) XUngrabKeyboard(dpy_, CurrentTime);
    if (pointerGrabbed_) XUngrabPointer(dpy_, CurrentTime);
    platform_.RemoveRawWindow(win_);
    buffer_.reset();
    XDestroyWindow(dpy_, win_);
    XFlush(dpy_);
}

bool PopupMenuWindow::Grab() {
    // Every pointer event comes to the menu, wherever it happens, so that a press elsewhere
    // closes the menu and reaches nothing else. Right after a click the window manager may
    // still hold the pointer for a moment: the grab is tried again for about 200 ms.
    constexpr unsigned int kPointerMask =
        ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask | LeaveWindowMask;
    constexpr int kAttempts = 10;
    constexpr useconds_t kPauseUs = 20000;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0) usleep(kPauseUs);
        if (!pointerGrabbed_)
            pointerGrabbed_ = XGrabPointer(dpy_, win_, False, kPointerMask, GrabModeAsync, GrabModeAsync, 0,
                                           platform_.CursorFor(CursorKind::Arrow), CurrentTime) == GrabSuccess;
        if (!keyboardGrabbed_)
            keyboardGrabbed_ =
                XGrabKeyboard(dpy_, win_, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
        if (pointerGrabbed_ && keyboardGrabbed_) break;
    }
    // Without the keyboard the menu still works with the pointer, and a press elsewhere closes
    // it; without the pointer nothing could close it.
    return pointerGrabbed_;
}

// ---- geometry and state -----------------------------------------------------------------------

Rect PopupMenuWindow::ItemRect(int index) const {
    const int top = inset_ + index * itemHeight_;
    return {inset_, top, width_ - inset_, top + itemHeight_};
}

int PopupMenuWindow::ItemAt(int x, int y) const {
    for (int i = 0; i < int(items_.size()); ++i)
        if (ItemRect(i).Contains({x, y})) return i;
    return kNoItem;
}

void PopupMenuWindow::Select(int index) {
    if (index == selected_) return;
    selected_ = index;
    Draw();
    buffer_->Present();
}

void PopupMenuWindow::Step(int delta) {
    const int n = int(items_.size());
    if (n == 0) return;
    if (selected_ == kNoItem)
        Select(delta > 0 ? 0 : n - 1);
    else
        Select(((selected_ + delta) % n + n) % n);
}

void PopupMenuWindow::Finish(int choice) {
    choice_ = choice;
    done_ = true;
}

// ---- events -----------------------------------------------------------------------------------

void PopupMenuWindow::OnEvent(XEvent& ev) {
    if (done_) return;
    switch (ev.type) {
        case Expose: {
            const Rect r{ev.xexpose.x, ev.xexpose.y, ev.xexpose.x + ev.xexpose.width, ev.xexpose.y + ev.xexpose.height};
            buffer_->Present(&r);
            break;
        }
        case MotionNotify:
            // The highlight follows the pointer over the items and goes when it leaves them.
            Select(ItemAt(ev.xmotion.x, ev.xmotion.y));
            break;
        case ButtonPress: {
            const unsigned int button = ev.xbutton.button;
            if (button != Button1 && button != Button2 && button != Button3) break;  // the wheel does nothing
            const Rect whole{0, 0, width_, height_};
            if (!whole.Contains({ev.xbutton.x, ev.xbutton.y}))
                Finish(kNoItem);  // a press elsewhere dismisses the menu and goes no further
            else
                Select(ItemAt(ev.xbutton.x, ev.xbutton.y));
            break;
        }
        case ButtonRelease: {
            const unsigned int button = ev.xbutton.button;
            if (button != Button1 && button != Button2 && button != Button3) break;
            const int item = ItemAt(ev.xbutton.x, ev.xbutton.y);
            if (item != kNoItem) Finish(item);
            break;
        }
        case KeyPress:
            switch (XLookupKeysym(&ev.xkey, 0)) {
                case XK_Up:
                case XK_KP_Up:
                    Step(-1);
                    break;
                case XK_Down:
                case XK_KP_Down:
                    Step(1);
                    break;
                case XK_Return:
                case XK_KP_Enter:
                case XK_space:
                    if (selected_ != kNoItem) Finish(selected_);
                    break;
                case XK_Escape:
                    Finish(kNoItem);
                    break;
                default:
                    break;
            }
            break;
        case UnmapNotify:
        case DestroyNotify:
            Finish(kNoItem);  // taken away under us
            break;
        default:
            break;
    }
}

// ---- drawing ----------------------------------------------------------------------------------

void PopupMenuWindow::Draw() {
    BackBuffer& b = *buffer_;
    b.Fill({0, 0, width_, height_}, kMenuFace);
    b.Frame({0, 0, width_, height_}, kMenuBorder);
    for (int i = 0; i < int(items_.size()); ++i) {
        const Rect r = ItemRect(i);
        const bool selected = i == selected_;
        if (selected) b.Fill(r, kHighlight);
        const int baseline = r.top + (r.Height() - font_.LineHeight()) / 2 + font_.Ascent();
        b.Text(font_, r.left + textLeft_, baseline, items_[std::size_t(i)], selected ? kHighlightText : kMenuText);
    }
}

}  // namespace

std::optional<int> X11Platform::NativePopupMenu(vreko::Window& owner, const std::vector<std::string>& items,
                                                Point client) {
    if (items.empty()) return -1;
    PopupMenuWindow menu(*this, items, static_cast<X11Window&>(owner).ClientToRoot(client));
    if (!menu.Grab()) return -1;
    RunModalLoop(*this, [&menu] { return menu.Done(); });
    return menu.Choice();
}

}  // namespace vreko::x11
