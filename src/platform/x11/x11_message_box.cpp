// The modal message box on X11: a small fixed-size dialog in the look of a plain system message
// box (grey face, black text, an optional icon, one "OK" button), centred on the primary
// monitor and kept above the program's always-on-top main window. It runs the program's loop
// until the user dismisses it.
#include "platform/x11/x11_modal.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace vreko::x11 {

namespace {

constexpr Color kFace = Rgb(240, 240, 240);
constexpr Color kText = colors::kBlack;
constexpr Color kButtonFace = Rgb(225, 225, 225);
constexpr Color kButtonHot = Rgb(229, 241, 251);
constexpr Color kButtonPressed = Rgb(204, 228, 247);
constexpr Color kButtonBorder = Rgb(0, 120, 215);  // the default button's frame
constexpr Color kButtonPressedBorder = Rgb(0, 84, 153);
constexpr Color kErrorRed = Rgb(225, 37, 37);
constexpr Color kWarningYellow = Rgb(255, 204, 0);
constexpr Color kWarningOutline = Rgb(191, 140, 0);

// _MOTIF_WM_HINTS: a dialog that can be moved and closed, with border, title and window menu.
constexpr long kMwmHintsFunctions = 1L << 0;
constexpr long kMwmHintsDecorations = 1L << 1;
constexpr long kMwmFuncMove = 1L << 2;
constexpr long kMwmFuncClose = 1L << 5;
constexpr long kMwmDecorBorder = 1L << 1;
constexpr long kMwmDecorTitle = 1L << 3;
constexpr long kMwmDecorMenu = 1L << 4;

constexpr long kNetWmStateAdd = 1;

// The lines of the text: split at line feeds, carriage returns dropped.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\n')
            lines.emplace_back();
        else if (c != '\r')
            lines.back() += c;
    }
    return lines;
}

// Breaks a line wider than maxWidth at its spaces, and a word wider than that between its
// characters, as a message box wraps its text.
void WrapLine(const DialogFont& font, const std::string& line, int maxWidth, std::vector<std::string>& out) {
    if (font.Width(line) <= maxWidth) {
        out.push_back(line);
        return;
    }
    std::string current;
    std::size_t lastSpace = std::string::npos;  // in current
    std::size_t i = 0;
    while (i < line.size()) {
        const std::size_t n =
            std::min<std::size_t>(std::size_t(Utf8Length(static_cast<unsigned char>(line[i]))), line.size() - i);
        std::string next = current + line.substr(i, n);
        if (!current.empty() && font.Width(next) > maxWidth) {
            if (line[i] == ' ') {
                i += n;  // the space that breaks the line is not shown
            } else if (lastSpace != std::string::npos) {
                out.push_back(current.substr(0, lastSpace));
                current.erase(0, lastSpace + 1);
                lastSpace = std::string::npos;  // it was the last one in current
                continue;
            }
            out.push_back(current);
            current.clear();
            lastSpace = std::string::npos;
            continue;
        }
        if (line[i] == ' ') lastSpace = current.size();
        current = std::move(next);
        i += n;
    }
    out.push_back(current);
}

Atom InternAtom(Display* dpy, const char* name) {
    return XInternAtom(dpy, name, False);
}

// The icons, drawn on a square of 32 units: the colour at a point of it.
constexpr double kIconUnits = 32.0;

Color IconColorAt(MessageBoxIcon icon, double u, double v) {
    const double dx = u - 16.0, dy = v - 16.0;
    if (icon == MessageBoxIcon::Error) {
        // A red disc with a white cross of two square-ended bars.
        if (dx * dx + dy * dy > 15.5 * 15.5) return kFace;
        const double across1 = std::abs(dx - dy) / std::numbers::sqrt2,
                     along1 = std::abs(dx + dy) / std::numbers::sqrt2;
        const double across2 = along1, along2 = across1;
        constexpr double kHalfWidth = 2.1, kHalfLength = 8.0;
        if ((across1 <= kHalfWidth && along1 <= kHalfLength) || (across2 <= kHalfWidth && along2 <= kHalfLength))
            return colors::kWhite;
        return kErrorRed;
    }
    // A yellow triangle with a darker rim and a black exclamation mark.
    struct Edge {
        double ax, ay, bx, by;
    };
    constexpr Edge edges[3] = {{16.0, 2.0, 31.0, 29.0}, {31.0, 29.0, 1.0, 29.0}, {1.0, 29.0, 16.0, 2.0}};
    double inside = 1e9;  // the distance to the nearest edge, negative outside
    for (const Edge& e : edges) {
        const double ex = e.bx - e.ax, ey = e.by - e.ay;
        inside = std::min(inside, (ex * (v - e.ay) - ey * (u - e.ax)) / std::hypot(ex, ey));
    }
    if (inside < 0) return kFace;
    if (std::abs(dx) <= 1.7 && v >= 10.5 && v <= 21.0) return colors::kBlack;
    if (dx * dx + (v - 24.6) * (v - 24.6) <= 1.9 * 1.9) return colors::kBlack;
    return inside < 1.2 ? kWarningOutline : kWarningYellow;
}

class MessageBoxWindow {
public:
    // owner: the shown main window the box belongs to, or 0 for the program as a whole.
    MessageBoxWindow(X11Platform& platform, Window owner, const std::string& text, const std::string& caption,
                     MessageBoxIcon icon);
    ~MessageBoxWindow();
    MessageBoxWindow(const MessageBoxWindow&) = delete;
    MessageBoxWindow& operator=(const MessageBoxWindow&) = delete;

    bool Closed() const { return closed_; }

private:
    bool HasIcon() const { return icon_ != MessageBoxIcon::Plain; }
    void Layout(const std::string& text);
    void SetProperties(const std::string& caption);
    void OnEvent(XEvent& ev);
    void OnPointer(int x, int y, bool inside);
    void RequestFocus();
    void Redraw();
    void Draw();
    void DrawIcon();
    void DrawButton();

    X11Platform& platform_;
    Display* dpy_;
    Window owner_;
    MessageBoxIcon icon_;
    DialogFont font_;
    DialogScale scale_;

    std::vector<std::string> lines_;
    int width_ = 0;
    int height_ = 0;
    Point origin_;  // of the client area on the screen
    Rect iconBox_;
    Point text_;
    Rect button_;

    Window win_ = 0;
    std::unique_ptr<BackBuffer> buffer_;
    Pixmap iconImage_ = 0;
    bool closed_ = false;
    bool focused_ = false;
    bool hot_ = false;       // the pointer is over the button
    bool tracking_ = false;  // a left press on the button is held
};

MessageBoxWindow::MessageBoxWindow(X11Platform& platform, Window owner, const std::string& text,
                                   const std::string& caption, MessageBoxIcon icon)
    : platform_(platform),
      dpy_(platform.display()),
      owner_(owner),
      icon_(icon),
      font_(platform),
      scale_(platform.ScreenDpi()) {
    Layout(text);

    const Rect monitor = platform_.PrimaryMonitor();
    origin_ = {monitor.left + (monitor.Width() - width_) / 2, monitor.top + (monitor.Height() - height_) / 2};
    XSetWindowAttributes attrs{};
    attrs.background_pixel = platform_.Pixel(kFace);
    attrs.border_pixel = 0;
    attrs.colormap = platform_.colormap();
    attrs.cursor = platform_.CursorFor(CursorKind::Arrow);
    attrs.event_mask = ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                       EnterWindowMask | LeaveWindowMask | FocusChangeMask | StructureNotifyMask;
    win_ = XCreateWindow(dpy_, platform_.root(), origin_.x, origin_.y, unsigned(width_), unsigned(height_), 0,
                         platform_.depth(), InputOutput, platform_.visual(),
                         CWBackPixel | CWBorderPixel | CWColormap | CWCursor | CWEventMask, &attrs);
    SetProperties(caption);

    buffer_ = std::make_unique<BackBuffer>(platform_, win_, width_, height_);
    Draw();
    platform_.AddRawWindow(win_, [this](XEvent& ev) { OnEvent(ev); });
    XMapRaised(dpy_, win_);
    XFlush(dpy_);
}

MessageBoxWindow::~MessageBoxWindow() {
    platform_.RemoveRawWindow(win_);
    if (iconImage_) XFreePixmap(dpy_, iconImage_);
    buffer_.reset();
    XDestroyWindow(dpy_, win_);
    XFlush(dpy_);
}

void MessageBoxWindow::Layout(const std::string& text) {
    const DialogScale& s = scale_;
    const int margin = s(16);
    const int iconSize = HasIcon() ? s(32) : 0;
    const Rect monitor = platform_.PrimaryMonitor();

    // Lines wider than two thirds of the screen are wrapped.
    text_.x = iconSize ? margin + iconSize + s(12) : margin;
    const int maxTextWidth = std::max(s(200), monitor.Width() * 2 / 3 - text_.x - margin);
    for (const std::string& line : SplitLines(ValidUtf8(text))) WrapLine(font_, line, maxTextWidth, lines_);
    int textWidth = 0;
    for (const std::string& line : lines_) textWidth = std::max(textWidth, font_.Width(line));
    const int textHeight = int(lines_.size()) * font_.LineHeight();

    // A short text stands level with the middle of the icon.
    iconBox_ = {margin, margin, margin + iconSize, margin + iconSize};
    text_.y = margin + (textHeight < iconSize ? (iconSize - textHeight) / 2 : 0);
    const int contentBottom = std::max(text_.y + textHeight, iconBox_.bottom);

    const int buttonWidth = std::max(s(75), font_.Width("OK") + s(16));
    const int buttonHeight = std::max(s(23), font_.LineHeight() + s(8));
    width_ = std::max({text_.x + textWidth + s(24), buttonWidth + 2 * margin, s(160)});
    const int buttonTop = contentBottom + s(18);
    height_ = buttonTop + buttonHeight + s(12);
    const int buttonLeft = (width_ - buttonWidth) / 2;
    button_ = {buttonLeft, buttonTop, buttonLeft + buttonWidth, buttonTop + buttonHeight};
}

void MessageBoxWindow::SetProperties(const std::string& caption) {
    const Atoms& atoms = platform_.atoms();
    platform_.SetTopLevelProperties(win_, caption, "Vreko");

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
    if (owner_)
        XSetTransientForHint(dpy_, win_, owner_);
    else if (group)
        XSetTransientForHint(dpy_, win_, platform_.root());

    if (XSizeHints* size = XAllocSizeHints()) {
        // A fixed size, the box itself centred: the frame goes around it where it stands.
        size->flags = PMinSize | PMaxSize | USPosition | PPosition | PWinGravity;
        size->min_width = size->max_width = width_;
        size->min_height = size->max_height = height_;
        size->x = origin_.x;
        size->y = origin_.y;
        size->win_gravity = StaticGravity;
        XSetWMNormalHints(dpy_, win_, size);
        XFree(size);
    }

    Atom protocols[] = {atoms.wmDeleteWindow};
    XSetWMProtocols(dpy_, win_, protocols, 1);

    long type = long(InternAtom(dpy_, "_NET_WM_WINDOW_TYPE_DIALOG"));
    XChangeProperty(dpy_, win_, atoms.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&type), 1);
    long states[] = {long(atoms.netWmStateAbove), long(InternAtom(dpy_, "_NET_WM_STATE_MODAL"))};
    XChangeProperty(dpy_, win_, atoms.netWmState, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(states), 2);
    long motif[5] = {kMwmHintsFunctions | kMwmHintsDecorations, kMwmFuncMove | kMwmFuncClose,
                     kMwmDecorBorder | kMwmDecorTitle | kMwmDecorMenu, 0, 0};
    XChangeProperty(dpy_, win_, atoms.motifWmHints, atoms.motifWmHints, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(motif), 5);
}

void MessageBoxWindow::RequestFocus() {
    platform_.ActivateWindow(win_);
}

// ---- events -----------------------------------------------------------------------------------

void MessageBoxWindow::OnEvent(XEvent& ev) {
    switch (ev.type) {
        case Expose: {
            const Rect r{ev.xexpose.x, ev.xexpose.y, ev.xexpose.x + ev.xexpose.width, ev.xexpose.y + ev.xexpose.height};
            buffer_->Present(&r);
            break;
        }
        case MapNotify:
            platform_.SendWmState(win_, kNetWmStateAdd, platform_.atoms().netWmStateAbove);
            RequestFocus();
            // The focus that comes may activate the program, and then it is reported to the
            // program instead of to the box: the box counts on it.
            focused_ = true;
            Redraw();
            break;
        case FocusIn:
        case FocusOut:
            if (ev.xfocus.mode == NotifyGrab || ev.xfocus.mode == NotifyUngrab || ev.xfocus.detail == NotifyPointer)
                break;
            focused_ = ev.type == FocusIn;
            Redraw();
            break;
        case KeyPress:
            switch (XLookupKeysym(&ev.xkey, 0)) {
                case XK_Return:
                case XK_KP_Enter:
                case XK_space:
                case XK_Escape:
                    closed_ = true;
                    break;
                default:
                    break;
            }
            break;
        case ButtonPress:
            if (ev.xbutton.button == Button1 && button_.Contains({ev.xbutton.x, ev.xbutton.y})) {
                tracking_ = true;
                Redraw();
            }
            break;
        case ButtonRelease:
            if (ev.xbutton.button == Button1 && tracking_) {
                tracking_ = false;
                if (button_.Contains({ev.xbutton.x, ev.xbutton.y})) closed_ = true;
                Redraw();
            }
            break;
        case MotionNotify:
            OnPointer(ev.xmotion.x, ev.xmotion.y, true);
            break;
        case EnterNotify:
        case LeaveNotify:
            focused_ = ev.xcrossing.focus;
            OnPointer(ev.xcrossing.x, ev.xcrossing.y, ev.type == EnterNotify);
            break;
        case ClientMessage:
            if (Atom(ev.xclient.message_type) == platform_.atoms().wmProtocols &&
                Atom(ev.xclient.data.l[0]) == platform_.atoms().wmDeleteWindow)
                closed_ = true;
            break;
        case UnmapNotify:
            // Only the window manager unmaps the open box: it was minimised (a message box
            // cannot be), and the program would wait on a box nobody sees. It comes back.
            if (!closed_) XMapRaised(dpy_, win_);
            break;
        case DestroyNotify:
            closed_ = true;
            break;
        default:
            break;
    }
}

void MessageBoxWindow::OnPointer(int x, int y, bool inside) {
    const bool hot = inside && button_.Contains({x, y});
    if (hot == hot_) return;
    hot_ = hot;
    Redraw();
}

// ---- drawing ----------------------------------------------------------------------------------

void MessageBoxWindow::Redraw() {
    Draw();
    buffer_->Present();
}

void MessageBoxWindow::Draw() {
    BackBuffer& b = *buffer_;
    b.Fill({0, 0, width_, height_}, kFace);
    DrawIcon();
    for (std::size_t i = 0; i < lines_.size(); ++i)
        b.Text(font_, text_.x, text_.y + int(i) * font_.LineHeight() + font_.Ascent(), lines_[i], kText);
    DrawButton();
}

void MessageBoxWindow::DrawIcon() {
    if (!HasIcon()) return;
    const Rect& box = iconBox_;
    if (!iconImage_) {
        // Drawn once, smoothed: each pixel is the mean of 4 by 4 samples of the icon's shapes.
        constexpr int kSamples = 4;
        const int size = box.Width();
        iconImage_ = XCreatePixmap(dpy_, win_, unsigned(size), unsigned(size), unsigned(platform_.depth()));
        GC gc = buffer_->gc();
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                int r = 0, g = 0, b = 0;
                for (int sy = 0; sy < kSamples; ++sy) {
                    for (int sx = 0; sx < kSamples; ++sx) {
                        const double u = (x + (sx + 0.5) / kSamples) * kIconUnits / size;
                        const double v = (y + (sy + 0.5) / kSamples) * kIconUnits / size;
                        const Color c = IconColorAt(icon_, u, v);
                        r += RedOf(c), g += GreenOf(c), b += BlueOf(c);
                    }
                }
                constexpr int n = kSamples * kSamples;
                XSetForeground(dpy_, gc, platform_.Pixel(Rgb((r + n / 2) / n, (g + n / 2) / n, (b + n / 2) / n)));
                XDrawPoint(dpy_, iconImage_, gc, x, y);
            }
        }
    }
    XCopyArea(dpy_, iconImage_, buffer_->drawable(), buffer_->gc(), 0, 0, unsigned(box.Width()), unsigned(box.Height()),
              box.left, box.top);
}

void MessageBoxWindow::DrawButton() {
    BackBuffer& b = *buffer_;
    const bool pressed = tracking_ && hot_;
    b.Fill(button_, pressed ? kButtonPressed : hot_ ? kButtonHot : kButtonFace);
    b.Frame(button_, pressed ? kButtonPressedBorder : kButtonBorder);
    if (focused_) {
        // The default button's second frame line, and the dotted focus rectangle inside.
        const Rect inner{button_.left + 1, button_.top + 1, button_.right - 1, button_.bottom - 1};
        b.Frame(inner, pressed ? kButtonPressedBorder : kButtonBorder);
        GC gc = b.gc();
        static const char dots[] = {1, 1};
        XSetLineAttributes(dpy_, gc, 1, LineOnOffDash, CapButt, JoinMiter);
        XSetDashes(dpy_, gc, 0, dots, 2);
        XSetForeground(dpy_, gc, platform_.Pixel(colors::kBlack));
        const int inset = scale_(3);
        XDrawRectangle(dpy_, b.drawable(), gc, button_.left + inset, button_.top + inset,
                       unsigned(button_.Width() - 2 * inset - 1), unsigned(button_.Height() - 2 * inset - 1));
        XSetLineAttributes(dpy_, gc, 0, LineSolid, CapButt, JoinMiter);
    }
    const int textWidth = font_.Width("OK");
    const int x = button_.left + (button_.Width() - textWidth) / 2;
    const int baseline = button_.top + (button_.Height() - font_.LineHeight()) / 2 + font_.Ascent();
    b.Text(font_, x, baseline, "OK", kText);
}

}  // namespace

bool X11Platform::ShowNativeMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon) {
    Window owner = 0;
    for (const auto& [xid, window] : windows_) {
        if (window->Visible()) {
            owner = xid;
            break;
        }
    }
    MessageBoxWindow box(*this, owner, text, caption, icon);
    RunModalLoop(*this, [&box] { return box.Closed(); });
    return true;
}

}  // namespace vreko::x11
