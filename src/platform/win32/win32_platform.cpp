#include "platform/win32/win32_platform.h"

#include <algorithm>
#include <string_view>

#include "platform/native.h"
#include "platform/win32/win32_settings.h"
#include "settings/settings.h"

namespace vreko {

std::unique_ptr<Platform> CreateNativePlatform(std::string& error) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!instance) {
        error = "cannot find the program's own module";
        return nullptr;
    }
    return std::make_unique<win32::Win32Platform>(instance);
}

namespace win32 {

namespace {

constexpr wchar_t kAppClass[] = L"TApplication";
constexpr wchar_t kMainClass[] = L"TForm1";
// The system timer that keeps the program's timers running through a modal loop of Windows.
constexpr UINT_PTR kModalTimerId = 1;
// While Windows runs its own loop, the program looks at its timers at least this often.
constexpr std::int64_t kModalTimerMaxMs = 250;

// The resume notices of one wake-up come within this time of each other.
constexpr std::int64_t kWakeNoticeMs = 5000;

Win32Platform* g_platform = nullptr;

// Set while a message box is being opened: its window, the first dialog the thread creates
// then, is the box.
bool g_awaitingBox = false;

LRESULT CALLBACK CatchBoxWindow(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && g_awaitingBox && g_platform) {
        const HWND w = reinterpret_cast<HWND>(wParam);
        wchar_t cls[16] = {};
        if (::GetClassNameW(w, cls, 16) > 0 && std::wstring_view(cls) == L"#32770") {
            g_awaitingBox = false;
            g_platform->BoxOpened(w);
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(std::size_t(std::max(0, n)), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

std::string Narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(std::max(0, n)), '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// ---- sleep ----------------------------------------------------------------------------------

void Win32SleepHold::Take() {
    if (held_) return;
    held_ = true;
    ::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
}

void Win32SleepHold::Release() {
    if (!held_) return;
    held_ = false;
    ::SetThreadExecutionState(ES_CONTINUOUS);
}

// ---- the platform -------------------------------------------------------------------------

Win32Platform::Win32Platform(HINSTANCE instance) : instance_(instance) {
    g_platform = this;
    // The program is per-monitor DPI aware by its manifest (vreko.manifest.in), set before
    // any of its code runs: Windows reports the screen's real resolution, by which the design
    // is scaled at start, and tells the window of every change of it (WM_DPICHANGED).
    arrow_ = ::LoadCursorW(nullptr, IDC_ARROW);
    hand_ = ::LoadCursorW(nullptr, IDC_HAND);
    RegisterClasses();
}

Win32Platform::~Win32Platform() {
    if (appWindow_) ::DestroyWindow(appWindow_);
    for (auto& [key, font] : fonts_) ::DeleteObject(font);
    g_platform = nullptr;
}

void Win32Platform::RegisterClasses() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Win32Platform::WindowProc;
    wc.hInstance = instance_;
    wc.hCursor = arrow_;
    // The program's icon (resource 1) at the sizes of the taskbar and Alt+Tab and of the
    // small caption icon; Windows' own for a program built without its resources.
    wc.hIcon = ::LoadIconW(instance_, MAKEINTRESOURCEW(1));
    if (!wc.hIcon) wc.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    wc.hIconSm = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                 LR_DEFAULTCOLOR | LR_SHARED));
    wc.lpszClassName = kAppClass;
    ::RegisterClassExW(&wc);

    wc.style = CS_DBLCLKS;
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kMainClass;
    ::RegisterClassExW(&wc);
}

std::int64_t Win32Platform::NowMs() { return std::int64_t(::GetTickCount64()); }

void Win32Platform::Wait(std::int64_t timeoutMs) {
    const DWORD timeout = timeoutMs < 0 ? INFINITE : DWORD(std::min<std::int64_t>(timeoutMs, 0x7FFFFFFE));
    // Returns at once while input is queued, seen or not; sent messages wake it as well.
    ::MsgWaitForMultipleObjectsEx(0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

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
        // The window procedure translates what it gets and queues it.
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

namespace {

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

LRESULT CALLBACK Win32Platform::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_platform) return g_platform->HandleMessage(hwnd, message, wParam, lParam);
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT Win32Platform::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd == appWindow_ && appWindow_) return HandleAppMessage(message, wParam, lParam);
    if (auto it = windows_.find(hwnd); it != windows_.end()) return HandleMainMessage(*it->second, message, wParam, lParam);
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
            if (!boxes_.empty()) ::SetForegroundWindow(boxes_.back());
            else if (HWND main = VisibleMainWindow()) ::SetFocus(main);
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
        default:
            break;
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
        case WM_ERASEBKGND:
            return 1;  // every paint covers its whole area
        case WM_CLOSE:
            Queue(h, CloseAsked{});
            return 0;
        case WM_KEYDOWN:
            Queue(h, KeyPressed{KeyOf(wParam), (lParam & (1 << 30)) != 0, false});
            return 0;
        case WM_KEYUP:
        case WM_CHAR:
        case WM_SYSCHAR:
            return 0;
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
        case WM_MBUTTONDBLCLK:
            Queue(h, ButtonOf(message, wParam, PointOf(lParam), Area::Client));
            return 0;
        case WM_MOUSEWHEEL: {
            // Positive away from the user; a part of a notch counts as a whole one.
            const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
            const int notches = delta / WHEEL_DELTA;
            Queue(h, WheelTurned{delta > 0 ? std::max(1, notches) : delta < 0 ? std::min(-1, notches) : 0});
            return 0;
        }
        case WM_NCMOUSEMOVE:
            Queue(h, PointerMoved{w.ScreenToClient(PointOf(lParam)), Area::Background, {}});
            break;
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
        case WM_CONTEXTMENU:
            return 0;
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
        case WM_ACTIVATEAPP:
            return 0;  // the application window reports it
        case WM_DPICHANGED:
            // The program scales its design and keeps the window's centre, rather than take
            // the rectangle Windows suggests.
            Queue(h, ResolutionChanged{int(LOWORD(wParam))});
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

// ---- modal loops of Windows ---------------------------------------------------------------

Win32Platform::ModalScope::ModalScope(Win32Platform& platform) : platform_(platform) {
    ++platform_.modalDepth_;
    platform_.ArmModalTimer();
}

Win32Platform::ModalScope::~ModalScope() {
    --platform_.modalDepth_;
    platform_.ArmModalTimer();
}

void Win32Platform::ArmModalTimer() {
    if (!appWindow_) return;
    if (modalDepth_ <= 0 || !loop_) {
        ::KillTimer(appWindow_, kModalTimerId);
        return;
    }
    std::int64_t delay = kModalTimerMaxMs;
    const std::int64_t deadline = loop_->NextDeadline();
    if (deadline >= 0) delay = std::clamp<std::int64_t>(deadline - NowMs(), USER_TIMER_MINIMUM, kModalTimerMaxMs);
    if (!queue_.empty()) delay = USER_TIMER_MINIMUM;  // queued events go first
    ::SetTimer(appWindow_, kModalTimerId, UINT(delay), nullptr);
}

void Win32Platform::RunModalWork() {
    if (!loop_ || modalDepth_ <= modalWorkDepth_) {
        ArmModalTimer();
        return;
    }
    const int outer = modalWorkDepth_;
    modalWorkDepth_ = modalDepth_;
    // Posted notices, queued events and due ticks; a bounded number, so the modal loop keeps
    // its pace.
    for (int i = 0; i < 64 && !loop_->QuitRequested() && loop_->ProcessOne(); ++i) {
    }
    modalWorkDepth_ = outer;
    // The program is ending (its count ran out, say): an open menu or box of ours goes with it.
    if (loop_->QuitRequested()) {
        ::EndMenu();
        for (HWND box : boxes_) {
            ::EndDialog(box, IDOK);
            ::PostMessageW(box, WM_NULL, 0, 0);  // wakes the box's loop to see it
        }
    }
    ArmModalTimer();
}

// ---- the program ------------------------------------------------------------------------

std::string Win32Platform::ModuleFileName() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), DWORD(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) {
            buf.resize(n);
            return Narrow(buf);
        }
        buf.resize(buf.size() * 2);
    }
}

SettingsDefaults Win32Platform::DefaultSettings() {
    SettingsDefaults d;
    d.FileName1 = "c:\\Program Files\\nnCron\\nncron.exe";
    d.Param1 = "-run MY_MESSAGE";
    d.FileName2 = "c:\\Program Files\\nnCron\\nncron.exe";
    d.Param2 = "-run QDL_MESSAGE";
    return d;
}

// ---- screen and windows -----------------------------------------------------------------

Rect Win32Platform::PrimaryMonitor() {
    return {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

int Win32Platform::ScreenDpi() {
    HDC screen = ::GetDC(nullptr);
    if (!screen) return 96;
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

std::unique_ptr<Window> Win32Platform::CreateMainWindow(WindowHandler& handler, const WindowDesc& desc) {
    return std::make_unique<Win32Window>(*this, handler, desc);
}

void Win32Platform::CreateAppWindow(const std::string& title, EventHandler& handler) {
    if (appWindow_) return;
    appHandler_ = &handler;
    const Rect m = PrimaryMonitor();
    const std::wstring wtitle = Widen(title);
    appWindow_ = ::CreateWindowExW(0, kAppClass, wtitle.c_str(),
                                   WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                                   m.left + m.Width() / 2, m.top + m.Height() / 2, 0, 0, nullptr, nullptr,
                                   instance_, nullptr);
    if (!appWindow_) return;
    if (HMENU sys = ::GetSystemMenu(appWindow_, FALSE)) {
        ::DeleteMenu(sys, SC_MAXIMIZE, MF_BYCOMMAND);
        ::DeleteMenu(sys, SC_SIZE, MF_BYCOMMAND);
        ::DeleteMenu(sys, SC_MOVE, MF_BYCOMMAND);
    }
}

void Win32Platform::MainWindowShown(bool shown) {
    // The application window stays hidden: shown, even at zero size, Wine maps it as a stray
    // one-pixel window. The main window carries the taskbar entry itself (WS_EX_APPWINDOW),
    // so the entry still comes and goes with it.
    (void)shown;
}

HFONT Win32Platform::Font(const FontSpec& request) {
    auto key = std::make_tuple(request.face, request.height, request.bold, request.italic);
    if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
    const std::wstring face = Widen(request.face);
    HFONT font = ::CreateFontW(request.height, 0, 0, 0, request.bold ? FW_BOLD : FW_NORMAL, request.italic ? TRUE : FALSE,
                               FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH | FF_DONTCARE, face.c_str());
    if (!font) font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    fonts_[key] = font;
    return font;
}

// ---- modal user interface ---------------------------------------------------------------

HWND Win32Platform::VisibleMainWindow() const {
    for (const auto& [h, w] : windows_)
        if (::IsWindowVisible(h)) return h;
    return nullptr;
}

bool Win32Platform::ShowNativeMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon) {
    // The box takes the keyboard and stays in front of the always-on-top main window: it belongs
    // to that window while it is on the screen (which then takes no input until the box is
    // closed), and is topmost itself when the window is not shown yet.
    HWND owner = VisibleMainWindow();
    UINT flags = MB_OK | MB_SETFOREGROUND;
    if (!owner) {
        owner = appWindow_;
        flags |= MB_TOPMOST;
    }
    if (icon == MessageBoxIcon::Error) flags |= MB_ICONERROR;
    else if (icon == MessageBoxIcon::Exclamation) flags |= MB_ICONEXCLAMATION;
    const std::wstring wtext = Widen(text);
    const std::wstring wcaption = Widen(caption);
    ModalScope modal(*this);
    const std::size_t outerBoxes = boxes_.size();
    g_awaitingBox = true;
    HHOOK hook = ::SetWindowsHookExW(WH_CBT, CatchBoxWindow, nullptr, ::GetCurrentThreadId());
    ::MessageBoxW(owner, wtext.c_str(), wcaption.c_str(), flags);
    g_awaitingBox = false;
    if (hook) ::UnhookWindowsHookEx(hook);
    boxes_.resize(outerBoxes);
    return true;
}

std::optional<int> Win32Platform::NativePopupMenu(Window& window, const std::vector<std::string>& items, Point client) {
    HMENU menu = ::CreatePopupMenu();
    if (!menu) return -1;
    const Point screen = static_cast<Win32Window&>(window).ClientToScreen(client);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::wstring text = Widen(items[i]);
        ::AppendMenuW(menu, MF_STRING, UINT_PTR(i + 1), text.c_str());
    }
    HWND owner = static_cast<Win32Window&>(window).hwnd();
    if (!::IsWindowVisible(owner)) owner = appWindow_;
    // A menu closes when the user clicks elsewhere only if its owner is in the foreground.
    ::SetForegroundWindow(owner);
    int chosen = 0;
    {
        ModalScope modal(*this);
        chosen = int(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, screen.x,
                                      screen.y, 0, owner, nullptr));
    }
    ::PostMessageW(owner, WM_NULL, 0, 0);
    ::DestroyMenu(menu);
    return chosen > 0 ? chosen - 1 : -1;
}

// ---- named locks and the running copy's window --------------------------------------------

namespace {

// A named mutex of the session: the lock the copies of the program share.
class MutexLock : public NamedLock {
public:
    explicit MutexLock(HANDLE h) : h_(h) {}
    ~MutexLock() override { ::CloseHandle(h_); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    LockWait TakeWithin(int limitMs) override {
        switch (::WaitForSingleObject(h_, DWORD(std::max(0, limitMs)))) {
            case WAIT_OBJECT_0: return LockWait::Taken;
            case WAIT_ABANDONED: return LockWait::Abandoned;
            case WAIT_TIMEOUT: return LockWait::TimedOut;
            default: return LockWait::Failed;
        }
    }
    void Release() override { ::ReleaseMutex(h_); }

private:
    HANDLE h_;
};

}  // namespace

std::unique_ptr<NamedLock> Win32Platform::MakeNamedLock(const std::string& name, bool takeNow, LockOpened& how) {
    const std::wstring wname = Widen(name);
    ::SetLastError(ERROR_SUCCESS);
    HANDLE h = ::CreateMutexW(nullptr, takeNow ? TRUE : FALSE, wname.c_str());
    const DWORD error = ::GetLastError();
    if (!h) {
        // Made by another copy with rights this one lacks (one started elevated, the other not).
        how = error == ERROR_ACCESS_DENIED ? LockOpened::Denied : LockOpened::Failed;
        return nullptr;
    }
    how = error == ERROR_ALREADY_EXISTS ? LockOpened::Existed : LockOpened::Created;
    return std::make_unique<MutexLock>(h);
}

WindowRef Win32Platform::FindAppWindow(WindowRef after, const std::string& className, const std::string& title) {
    const std::wstring wclass = Widen(className);
    const std::wstring wtitle = Widen(title);
    return Ref(::FindWindowExW(nullptr, Hwnd(after), wclass.c_str(), wtitle.c_str()));
}

bool Win32Platform::Exists(WindowRef w) { return w && ::IsWindow(Hwnd(w)); }

bool Win32Platform::IsMinimised(WindowRef w) { return w && ::IsIconic(Hwnd(w)); }

void Win32Platform::Restore(WindowRef w, std::uint64_t) {
    if (w) ::OpenIcon(Hwnd(w));
}

void Win32Platform::BringForward(WindowRef w, std::uint64_t) {
    if (w) ::SetForegroundWindow(Hwnd(w));
}

std::unique_ptr<SettingsStore> Win32Platform::OpenSettings(const std::string& programPath) {
    return OpenIniFile(SettingsFileBeside(programPath, "\\/:"));
}

}  // namespace win32
}  // namespace vreko
