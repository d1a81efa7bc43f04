// The program's main window on Windows: a borderless, topmost pop-up owned by the
// application window, which carries the taskbar entry.
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

Win32Window::Win32Window(Win32Platform& platform, NativeWindowHandler& handler, const WindowDesc& desc)
    : platform_(platform), handler_(handler) {
    const std::wstring title = Widen(desc.title);
    hwnd_ = ::CreateWindowExW((desc.topmost ? WS_EX_TOPMOST : 0) | WS_EX_APPWINDOW, L"TForm1", title.c_str(), WS_POPUP | WS_CLIPCHILDREN,
                              desc.position.x, desc.position.y, std::max(1, desc.width), std::max(1, desc.height),
                              platform_.AppWindow(), nullptr, platform_.instance(), nullptr);
    if (hwnd_) platform_.windows_[hwnd_] = this;
}

Win32Window::~Win32Window() {
    if (!hwnd_) return;
    platform_.windows_.erase(hwnd_);
    ::DestroyWindow(hwnd_);
    platform_.MainWindowShown(false);
}

void Win32Window::Show(bool activate) {
    if (!hwnd_) return;
    platform_.MainWindowShown(true);
    ::ShowWindow(hwnd_, activate ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE);
    ::SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | (activate ? 0 : SWP_NOACTIVATE));
    if (activate) ::SetForegroundWindow(hwnd_);
}

void Win32Window::Hide() {
    if (!hwnd_) return;
    ::ShowWindow(hwnd_, SW_HIDE);
    platform_.MainWindowShown(false);
}

bool Win32Window::Visible() const { return hwnd_ && ::IsWindowVisible(hwnd_); }

Rect Win32Window::ScreenBounds() const {
    RECT r{};
    if (hwnd_) ::GetWindowRect(hwnd_, &r);
    return {int(r.left), int(r.top), int(r.right), int(r.bottom)};
}

void Win32Window::MoveTo(Point topLeft) {
    if (hwnd_)
        ::SetWindowPos(hwnd_, nullptr, topLeft.x, topLeft.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::SetBounds(const Rect& screen) {
    if (hwnd_)
        ::SetWindowPos(hwnd_, nullptr, screen.left, screen.top, screen.Width(), screen.Height(),
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

void Win32Window::BeginPaintCycle() {
    ::BeginPaint(hwnd_, &ps_);
    painting_ = true;
}

void Win32Window::EndPaintCycle() {
    painting_ = false;
    ::EndPaint(hwnd_, &ps_);
}

std::unique_ptr<Painter> Win32Window::BeginPaint(Rect& area) {
    area = {};
    if (!painting_ || !ps_.hdc) return nullptr;
    area = {int(ps_.rcPaint.left), int(ps_.rcPaint.top), int(ps_.rcPaint.right), int(ps_.rcPaint.bottom)};
    if (area.Empty()) return nullptr;
    // Drawn off screen, copied in one piece.
    HDC target = ps_.hdc;
    HDC memory = ::CreateCompatibleDC(target);
    HBITMAP bitmap = ::CreateCompatibleBitmap(target, area.Width(), area.Height());
    if (!memory || !bitmap) {
        if (bitmap) ::DeleteObject(bitmap);
        if (memory) ::DeleteDC(memory);
        return std::make_unique<Win32Painter>(platform_, target, Rect{0, 0, area.right, area.bottom});
    }
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    const RECT all{0, 0, area.Width(), area.Height()};
    ::FillRect(memory, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    const Rect a = area;
    return std::make_unique<OwningPainter>(platform_, memory, area, [target, old, bitmap, a](HDC dc) {
        ::BitBlt(target, a.left, a.top, a.Width(), a.Height(), dc, 0, 0, SRCCOPY);
        ::SelectObject(dc, old);
        ::DeleteObject(bitmap);
        ::DeleteDC(dc);
    });
}

std::unique_ptr<Painter> Win32Window::GetDC() {
    if (!Visible()) return nullptr;
    HDC dc = ::GetDC(hwnd_);
    if (!dc) return nullptr;
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    const HWND hwnd = hwnd_;
    return std::make_unique<OwningPainter>(platform_, dc, Rect{0, 0, int(client.right), int(client.bottom)},
                                           [hwnd](HDC d) { ::ReleaseDC(hwnd, d); });
}

HCURSOR Win32Window::Cursor() const {
    return ::LoadCursorW(nullptr, cursor_ == CursorKind::Hand ? IDC_HAND : IDC_ARROW);
}

void Win32Window::SetCursor(CursorKind kind) {
    cursor_ = kind;
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

void Win32Window::SetCapture() {
    if (hwnd_) ::SetCapture(hwnd_);
}

void Win32Window::ReleaseCapture() {
    if (hwnd_ && ::GetCapture() == hwnd_) ::ReleaseCapture();
}

void Win32Window::BeginMoveDrag() {
    if (!hwnd_) return;
    // As a press on a caption does: the system's move loop runs until the button is released.
    ::ReleaseCapture();
    // Windows' move loop follows the left button and ends at once when it is up (a right
    // press that reaches here). Under Wine the window manager runs the move instead and
    // would wait for a left release that never comes, holding pointer and keyboard. Only
    // the press itself tells whether the left button is down: the key state can still hold
    // a left press whose release went elsewhere (a click outside an open menu closes the
    // menu on the press; the release goes to the window under the pointer), and a right
    // press would then start a move that sticks the window to the pointer.
    if (buttonMessage_ != WM_LBUTTONDOWN && buttonMessage_ != WM_LBUTTONDBLCLK) return;
    Win32Platform::ModalScope modal(platform_);
    ::SendMessageW(hwnd_, WM_SYSCOMMAND, 0xF012, 0);
}

void Win32Window::SetRoundRectRegion(const Rect& box, int rx, int ry) {
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
