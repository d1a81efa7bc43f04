// The one place where window messages become the program's typed events: the window procedure
// of the application window (activation, the wake-up after a sleep, closing from the taskbar,
// the modal-loop timer) and of the main window (paint, keys, pointer, wheel, the draggable
// background, capture, the screen's resolution). It queues what it translates, and Next below hands
// the queue to the loop one event at a time.
#include <algorithm>

#include "platform/win32/win32_platform.h"

namespace vreko::win32 {

namespace {

// The resume notices of one wake-up come within this time of each other.
constexpr std::int64_t kWakeNoticeMs = 5000;

Point PointOf(LPARAM lParam) { return {int(short(LOWORD(lParam))), int(short(HIWORD(lParam)))}; }

HeldKeys HeldOf(WPARAM wParam) {
    HeldKeys held;
    held.left = wParam & MK_LBUTTON;
    held.right = wParam & MK_RBUTTON;
    held.middle = wParam & MK_MBUTTON;
    held.shift = wParam & MK_SHIFT;
    held.control = wParam & MK_CONTROL;
    return held;
}

Key KeyOf(WPARAM vk) {
    switch (vk) {
        case VK_UP: return Key::Up;
        case VK_DOWN: return Key::Down;
        case VK_LEFT: return Key::Left;
        case VK_RIGHT: return Key::Right;
        case VK_ESCAPE: return Key::Escape;
        case VK_APPS: return Key::Menu;
        case VK_RETURN: return Key::Return;
        case VK_SPACE: return Key::Space;
        case VK_TAB: return Key::Tab;
        default: return Key::Other;
    }
}

// A button message of the client area, or of the draggable background (non-client).
ButtonChanged ButtonOf(UINT message, WPARAM wParam, Point at, Area area) {
    ButtonChanged b;
    b.at = at;
    b.area = area;
    if (area == Area::Client) b.held = HeldOf(wParam);
    const UINT m = area == Area::Client ? message - WM_LBUTTONDOWN : message - WM_NCLBUTTONDOWN;
    b.button = m < 3 ? PointerButton::Left : m < 6 ? PointerButton::Right : PointerButton::Middle;
    b.down = m % 3 != 1;
    b.doubleClick = m % 3 == 2;
    return b;
}

}  // namespace

// Takes the translated events one by one; a native message is translated only when none is
// queued.
bool Win32Platform::Next(Event& out) {
    for (;;) {
        if (!queue_.empty()) {
            out = queue_.front();
            queue_.pop_front();
            return true;
        }
        // Inside a modal loop of Windows that loop takes the native messages itself.
        if (modalWorkDepth_ > 0) return false;
        MSG m;
        if (!::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) return false;
        if (m.message == WM_QUIT) {
            if (loop_) loop_->PostQuit();
            return false;
        }
        // The window procedure translates what it gets and queues it; a message that means
        // nothing to the program queues nothing, and the next one is looked at.
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
}

void Win32Platform::Queue(EventHandler* target, EventData data) {
    if (!target) return;
    if (!loop_) {
        target->Handle(Event{target, std::move(data)});
        return;
    }
    queue_.push_back(Event{target, std::move(data)});
    // Inside a modal loop of Windows the program's work takes it soon.
    if (modalDepth_ > 0 && queue_.size() == 1) ArmModalTimer();
}

LRESULT CALLBACK Win32Platform::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (current_) return current_->HandleMessage(hwnd, message, wParam, lParam);
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT Win32Platform::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd == appWindow_ && appWindow_) return HandleAppMessage(message, wParam, lParam);
    if (auto it = windows_.find(hwnd); it != windows_.end())
        return HandleMainMessage(*it->second, message, wParam, lParam);
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT Win32Platform::HandleAppMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_POWERBROADCAST:
            // The machine has woken up: automatically (always), and for the user (when someone
            // woke it), one right after the other; the program hears of it once.
            if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND) {
                const std::int64_t now = NowMs();
                if (wakeToldAt_ < 0 || now - wakeToldAt_ > kWakeNoticeMs) {
                    wakeToldAt_ = now;
                    Queue(appHandler_, MachineWoke{});
                }
            }
            return TRUE;
        case WM_ACTIVATEAPP:
            if (wParam) Queue(appHandler_, BecameActive{});
            return 0;
        case WM_SETFOCUS:
            // The application window is activated when another copy brings this one forward:
            // the keyboard goes on to an open message box, else to the main window.
            if (!boxes_.empty())
                ::SetForegroundWindow(boxes_.back());
            else if (HWND main = VisibleMainWindow())
                ::SetFocus(main);
            return 0;
        case WM_TIMER:
            if (wParam == kModalTimerId) {
                RunModalWork();
                return 0;
            }
            break;
        case WM_CLOSE:
            // Closing from the taskbar closes the main window.
            if (!windows_.empty()) Queue(&windows_.begin()->second->handler(), CloseAsked{});
            return 0;
        default: break;
    }
    return ::DefWindowProcW(appWindow_, message, wParam, lParam);
}

LRESULT Win32Platform::HandleMainMessage(Win32Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND hwnd = w.hwnd();
    WindowHandler* const h = &w.handler();
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps{};
            ::BeginPaint(hwnd, &ps);
            const Rect area{int(ps.rcPaint.left), int(ps.rcPaint.top), int(ps.rcPaint.right), int(ps.rcPaint.bottom)};
            ::EndPaint(hwnd, &ps);
            if (!area.Empty()) Queue(h, NeedsPaint{area});
            return 0;
        }
        case WM_ERASEBKGND: return 1;  // every paint covers its whole area
        case WM_CLOSE: Queue(h, CloseAsked{}); return 0;
        case WM_KEYDOWN: Queue(h, KeyPressed{KeyOf(wParam), (lParam & (1 << 30)) != 0, false}); return 0;
        case WM_KEYUP:
        case WM_CHAR:
        case WM_SYSCHAR: return 0;
        case WM_SYSKEYDOWN:
            Queue(h, KeyPressed{KeyOf(wParam), (lParam & (1 << 30)) != 0, true});
            break;  // Alt+F4 and the like go on to the system
        case WM_NCHITTEST: {
            const LRESULT hit = ::DefWindowProcW(hwnd, message, wParam, lParam);
            if (hit != HTCLIENT) return hit;
            return w.handler().AreaAt(w.ScreenToClient(PointOf(lParam))) == Area::Background ? HTCAPTION : HTCLIENT;
        }
        case WM_SETCURSOR:
            if (LOWORD(lParam) == HTCLIENT && reinterpret_cast<HWND>(wParam) == hwnd) {
                ::SetCursor(w.Cursor());
                return TRUE;
            }
            break;
        case WM_MOUSEMOVE:
            Queue(h, PointerMoved{PointOf(lParam), Area::Client, HeldOf(wParam)});
            // The pointer's leaving is asked for only while it is over a button (the program
            // shows the hand there), whose look follows the hover. Over the readout and the
            // background a leave changes nothing, and Wine watches for it by reading the
            // pointer every 400 ms for as long as the pointer rests in the window.
            w.TrackLeave(w.CursorShape() == CursorKind::Hand);
            return 0;
        case WM_MOUSELEAVE:
            w.LeaveReported();
            Queue(h, PointerLeft{});
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MBUTTONDBLCLK: Queue(h, ButtonOf(message, wParam, PointOf(lParam), Area::Client)); return 0;
        case WM_MOUSEWHEEL: {
            // Positive away from the user; a part of a notch counts as a whole one.
            const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
            const int notches = delta / WHEEL_DELTA;
            Queue(h, WheelTurned{delta > 0 ? std::max(1, notches) : delta < 0 ? std::min(-1, notches) : 0});
            return 0;
        }
        case WM_NCMOUSEMOVE: Queue(h, PointerMoved{w.ScreenToClient(PointOf(lParam)), Area::Background, {}}); break;
        case WM_NCLBUTTONDOWN:
        case WM_NCLBUTTONUP:
        case WM_NCLBUTTONDBLCLK:
        case WM_NCMBUTTONDOWN:
        case WM_NCMBUTTONUP:
        case WM_NCMBUTTONDBLCLK:
            Queue(h, ButtonOf(message, wParam, w.ScreenToClient(PointOf(lParam)), Area::Background));
            break;  // a press on the draggable background starts the system's move
        case WM_NCRBUTTONDOWN:
        case WM_NCRBUTTONUP:
        case WM_NCRBUTTONDBLCLK:
            // The program shows its own menu; the system menu stays away.
            Queue(h, ButtonOf(message, wParam, w.ScreenToClient(PointOf(lParam)), Area::Background));
            return 0;
        case WM_CONTEXTMENU: return 0;
        case WM_CAPTURECHANGED:
            if (!w.Releasing()) Queue(h, GrabLost{});
            return 0;
        case WM_ENTERSIZEMOVE:
        case WM_ENTERMENULOOP:
            ++modalDepth_;
            ArmModalTimer();
            return 0;
        case WM_EXITSIZEMOVE:
        case WM_EXITMENULOOP:
            if (modalDepth_ > 0) --modalDepth_;
            ArmModalTimer();
            return 0;
        case WM_ACTIVATEAPP: return 0;  // the application window reports it
        case WM_DPICHANGED:
            // The program scales its design and keeps the window's centre, rather than take
            // the rectangle Windows suggests.
            Queue(h, ResolutionChanged{int(LOWORD(wParam))});
            return 0;
        default: break;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace vreko::win32
