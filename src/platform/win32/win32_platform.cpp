// The Win32 backend's set-up and end, its window classes and the hidden application window,
// the clock and the wait on the thread's message queue, and the program's file and settings.
#include "platform/win32/win32_platform.h"

#include <algorithm>

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

// ---- the platform -------------------------------------------------------------------------

Win32Platform::Win32Platform(HINSTANCE instance) : instance_(instance) {
    current_ = this;
    // The program is per-monitor DPI aware by its manifest (vreko.manifest.in), set before
    // any of its code runs: Windows reports the screen's real resolution, by which the design
    // is scaled at start, and tells the window of every change of it (WM_DPICHANGED).
    RegisterClasses();
}

Win32Platform::~Win32Platform() {
    if (appWindow_) ::DestroyWindow(appWindow_);
    for (auto& [key, font] : fonts_) ::DeleteObject(font);
    current_ = nullptr;
}

void Win32Platform::RegisterClasses() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Win32Platform::WindowProc;
    wc.hInstance = instance_;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    // The program's icon (resource 1) at the sizes of the taskbar and Alt+Tab and of the
    // small caption icon; Windows' own for a program built without its resources.
    wc.hIcon = ::LoadIconW(instance_, MAKEINTRESOURCEW(1));
    if (!wc.hIcon) wc.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    wc.hIconSm =
        static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                        ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR | LR_SHARED));
    wc.lpszClassName = kAppClass;
    ::RegisterClassExW(&wc);

    wc.style = CS_DBLCLKS;
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kMainClass;
    ::RegisterClassExW(&wc);
}

// ---- the clock and the wait -------------------------------------------------------------------

std::int64_t Win32Platform::NowMs() { return std::int64_t(::GetTickCount64()); }

void Win32Platform::Wait(std::int64_t timeoutMs) {
    const DWORD timeout = timeoutMs < 0 ? INFINITE : DWORD(std::min<std::int64_t>(timeoutMs, 0x7FFFFFFE));
    // Returns at once while input is queued, seen or not; sent messages wake it as well.
    ::MsgWaitForMultipleObjectsEx(0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

// ---- windows ------------------------------------------------------------------------------

std::unique_ptr<Window> Win32Platform::CreateMainWindow(WindowHandler& handler, const WindowDesc& desc) {
    return std::make_unique<Win32Window>(*this, handler, desc);
}

void Win32Platform::CreateAppWindow(const std::string& title, EventHandler& handler) {
    if (appWindow_) return;
    appHandler_ = &handler;
    const Rect m = PrimaryMonitor();
    const std::wstring wtitle = Widen(title);
    // It stays hidden: shown, even at zero size, Wine maps it as a stray one-pixel window. The
    // main window carries the taskbar entry itself (WS_EX_APPWINDOW).
    appWindow_ = ::CreateWindowExW(
        0, kAppClass, wtitle.c_str(), WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
        m.left + m.Width() / 2, m.top + m.Height() / 2, 0, 0, nullptr, nullptr, instance_, nullptr);
    if (!appWindow_) return;
    if (HMENU sys = ::GetSystemMenu(appWindow_, FALSE)) {
        ::DeleteMenu(sys, SC_MAXIMIZE, MF_BYCOMMAND);
        ::DeleteMenu(sys, SC_SIZE, MF_BYCOMMAND);
        ::DeleteMenu(sys, SC_MOVE, MF_BYCOMMAND);
    }
}

HWND Win32Platform::VisibleMainWindow() const {
    for (const auto& [h, w] : windows_)
        if (::IsWindowVisible(h)) return h;
    return nullptr;
}

// ---- the program's file and its settings ----------------------------------------------------

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

std::unique_ptr<SettingsStore> Win32Platform::OpenSettings(const std::string& programPath) {
    return OpenIniFile(SettingsFileBeside(programPath, "\\/:"));
}

SettingsDefaults Win32Platform::DefaultSettings() {
    SettingsDefaults d;
    d.FileName1 = "c:\\Program Files\\nnCron\\nncron.exe";
    d.Param1 = "-run MY_MESSAGE";
    d.FileName2 = "c:\\Program Files\\nnCron\\nncron.exe";
    d.Param2 = "-run QDL_MESSAGE";
    return d;
}

}  // namespace win32
}  // namespace vreko
