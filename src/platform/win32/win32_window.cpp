// The program's main window on Windows: a borderless, topmost pop-up owned by the hidden
// application window; it carries the taskbar entry itself (WS_EX_APPWINDOW).
#include <algorithm>
#include <functional>

#include "platform/win32/win32_platform.h"

namespace vreko::win32 {

namespace {

// A painter whose surface is handed back when it is destroyed.
class OwningPainter : public Win32Painter {
public:
    template <typename Finish>
    OwningPainter(Win32Platform& platform, HDC dc, Rect area, Finish finish)
        : Win32Painter(platform, dc, area), finish_(std::move(finish)) {}
    ~OwningPainter() override { finish_(dc()); }

private:
    std::function<void(HDC)> finish_;
};

}  // namespace

namespace {

// The top-left corner of a window of that size placed so.
Point TopLeft(Win32Platform& platform, const Placement& placement, int width, int height) {
    if (!placement.centred) return placement.at;
    const Rect screen = platform.PrimaryMonitor();
    return {screen.left + std::max(0, (screen.Width() - width) / 2),
            screen.top + std::max(0, (screen.Height() - height) / 2)};
}

}  // namespace

Win32Window::Win32Window(Win32Platform& platform, WindowHandler& handler, const WindowDesc& desc)
    : platform_(platform), handler_(handler) {
    const std::wstring title = Widen(desc.title);
    const Point at = TopLeft(platform, desc.placement, desc.width, desc.height);
    hwnd_ = ::CreateWindowExW((desc.topmost ? WS_EX_TOPMOST : 0) | WS_EX_APPWINDOW, kMainClass, title.c_str(),
                              WS_POPUP | WS_CLIPCHILDREN, at.x, at.y, std::max(1, desc.width), std::max(1, desc.height),
                              platform_.AppWindow(), nullptr, platform_.instance(), nullptr);
    if (hwnd_) platform_.windows_[hwnd_] = this;
}

Win32Window::~Win32Window() {
    if (!hwnd_) return;
    platform_.windows_.erase(hwnd_);
    ::DestroyWindow(hwnd_);
}

void Win32Window::Show(bool activate) {
    if (!hwnd_) return;
    ::ShowWindow(hwnd_, activate ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE);
    ::SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | (activate ? 0 : SWP_NOACTIVATE));
    if (activate) ::SetForegroundWindow(hwnd_);
}

void Win32Window::Hide() {
    if (!hwnd_) return;
    ::ShowWindow(hwnd_, SW_HIDE);
}

bool Win32Window::Visible() const { return hwnd_ && ::IsWindowVisible(hwnd_); }

void Win32Window::Place(const Placement& placement) {
    RECT r{};
    if (!hwnd_ || !::GetWindowRect(hwnd_, &r)) return;
    const Point at = TopLeft(platform_, placement, int(r.right - r.left), int(r.bottom - r.top));
    ::SetWindowPos(hwnd_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::Resize(int width, int height) {
    RECT r{};
    if (!hwnd_ || !::GetWindowRect(hwnd_, &r)) return;
    const Point centre{int(r.left + (r.right - r.left) / 2), int(r.top + (r.bottom - r.top) / 2)};
    ::SetWindowPos(hwnd_, nullptr, centre.x - width / 2, centre.y - height / 2, width, height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::Invalidate(const Rect* r) {
    if (!hwnd_) return;
    if (!r) {
        ::InvalidateRect(hwnd_, nullptr, FALSE);
        return;
    }
    const RECT rc{r->left, r->top, r->right, r->bottom};
    ::InvalidateRect(hwnd_, &rc, FALSE);
}

std::unique_ptr<Painter> Win32Window::Draw(const Rect& want) {
    if (!Visible()) return nullptr;
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    const Rect area{std::max(want.left, 0), std::max(want.top, 0), std::min(want.right, int(client.right)),
                    std::min(want.bottom, int(client.bottom))};
    HDC target = area.Empty() ? nullptr : ::GetDC(hwnd_);
    if (!target) return nullptr;
    const HWND hwnd = hwnd_;
    // Drawn off screen, copied in one piece when the painter goes.
    HDC memory = ::CreateCompatibleDC(target);
    HBITMAP bitmap = memory ? ::CreateCompatibleBitmap(target, area.Width(), area.Height()) : nullptr;
    if (!bitmap) {
        if (memory) ::DeleteDC(memory);
        return std::make_unique<OwningPainter>(platform_, target, Rect{0, 0, area.right, area.bottom},
                                               [hwnd](HDC dc) { ::ReleaseDC(hwnd, dc); });
    }
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    const RECT all{0, 0, area.Width(), area.Height()};
    ::FillRect(memory, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    return std::make_unique<OwningPainter>(platform_, memory, area, [hwnd, target, old, bitmap, area](HDC dc) {
        ::BitBlt(target, area.left, area.top, area.Width(), area.Height(), dc, 0, 0, SRCCOPY);
        ::SelectObject(dc, old);
        ::DeleteObject(bitmap);
        ::DeleteDC(dc);
        ::ReleaseDC(hwnd, target);
    });
}

HCURSOR Win32Window::Cursor() const {
    return ::LoadCursorW(nullptr, cursor_ == CursorKind::Hand ? IDC_HAND : IDC_ARROW);
}

void Win32Window::SetCursor(CursorKind kind) {
    cursor_ = kind;
    TrackLeave(kind == CursorKind::Hand);
    POINT p{};
    if (!::GetCursorPos(&p) || ::WindowFromPoint(p) != hwnd_) return;
    if (::SendMessageW(hwnd_, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)) == HTCLIENT) ::SetCursor(Cursor());
}

void Win32Window::TrackLeave(bool on) {
    if (!hwnd_ || on == trackingLeave_) return;
    TRACKMOUSEEVENT t{};
    t.cbSize = sizeof t;
    t.dwFlags = on ? TME_LEAVE : TME_LEAVE | TME_CANCEL;
    t.hwndTrack = hwnd_;
    const bool done = ::TrackMouseEvent(&t) != FALSE;
    // A withdrawal that failed leaves at most one leave report to come, which does no harm.
    trackingLeave_ = on && done;
}

void Win32Window::CapturePointer() {
    if (hwnd_) ::SetCapture(hwnd_);
}

void Win32Window::ReleasePointer() {
    if (!hwnd_ || ::GetCapture() != hwnd_) return;
    releasing_ = true;
    ::ReleaseCapture();
    releasing_ = false;
    handler_.Handle(Event{&handler_, GrabLost{}});
}

std::optional<Point> Win32Window::PointerPosition() {
    POINT p{};
    if (!hwnd_ || !::GetCursorPos(&p)) return std::nullopt;
    return ScreenToClient({int(p.x), int(p.y)});
}

bool Win32Window::BeginMove() {
    if (!hwnd_) return false;
    // Windows' move loop follows the left button and ends at once when it is up (a right
    // press that reaches here). Under Wine the window manager runs the move instead and
    // would wait for a left release that never comes, holding pointer and keyboard. Only
    // the press itself tells whether the left button is down: the key state can still hold
    // a left press whose release went elsewhere (a click outside an open menu closes the
    // menu on the press; the release goes to the window under the pointer), and a right
    // press would then start a move that sticks the window to the pointer.
    if (!DispatchingLeftPress(platform_.Loop(), handler_)) return false;
    // As a press on a caption does: the system's move loop runs until the button is released.
    ::ReleaseCapture();
    Win32Platform::ModalScope modal(platform_);
    ::SendMessageW(hwnd_, WM_SYSCOMMAND, 0xF012, 0);
    return true;
}

void Win32Window::SetRoundedOutline(const Rect& box, int rx, int ry) {
    if (!hwnd_) return;
    HRGN region = ::CreateRoundRectRgn(box.left, box.top, box.right, box.bottom, rx, ry);
    // The system owns the region from here on.
    if (region && !::SetWindowRgn(hwnd_, region, TRUE)) ::DeleteObject(region);
}

Point Win32Window::ScreenToClient(Point p) const {
    POINT q{p.x, p.y};
    if (hwnd_) ::ScreenToClient(hwnd_, &q);
    return {int(q.x), int(q.y)};
}

Point Win32Window::ClientToScreen(Point p) const {
    POINT q{p.x, p.y};
    if (hwnd_) ::ClientToScreen(hwnd_, &q);
    return {int(q.x), int(q.y)};
}

}  // namespace vreko::win32
