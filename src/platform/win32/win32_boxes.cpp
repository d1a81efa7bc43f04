// Windows' own message box (MessageBoxW) and popup menu (TrackPopupMenu). Both run a modal loop
// of Windows, through which the program's timers keep running (win32_modal.cpp); the boxes
// that are open are known, so that the keyboard can go to the innermost and the program's end
// can close them.
#include <string_view>

#include "platform/win32/win32_platform.h"

namespace vreko::win32 {

namespace {

// Set while a message box is being opened: its window, the first dialog the thread creates
// then, is the box of this platform.
Win32Platform* g_awaitingBoxOf = nullptr;

LRESULT CALLBACK CatchBoxWindow(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && g_awaitingBoxOf) {
        const HWND w = reinterpret_cast<HWND>(wParam);
        wchar_t cls[16] = {};
        if (::GetClassNameW(w, cls, 16) > 0 && std::wstring_view(cls) == L"#32770") {
            Win32Platform* const platform = g_awaitingBoxOf;
            g_awaitingBoxOf = nullptr;
            platform->BoxOpened(w);
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

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
    if (icon == MessageBoxIcon::Error)
        flags |= MB_ICONERROR;
    else if (icon == MessageBoxIcon::Exclamation)
        flags |= MB_ICONEXCLAMATION;
    const std::wstring wtext = Widen(text);
    const std::wstring wcaption = Widen(caption);
    ModalScope modal(*this);
    const std::size_t outerBoxes = boxes_.size();
    g_awaitingBoxOf = this;
    HHOOK hook = ::SetWindowsHookExW(WH_CBT, CatchBoxWindow, nullptr, ::GetCurrentThreadId());
    ::MessageBoxW(owner, wtext.c_str(), wcaption.c_str(), flags);
    g_awaitingBoxOf = nullptr;
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

}  // namespace vreko::win32
