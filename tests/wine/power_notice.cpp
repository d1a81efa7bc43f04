// Tells the running vreko.exe what Windows tells every top-level window after a sleep: sends
// WM_POWERBROADCAST with the resume notices to its application window (class "TApplication",
// title "Vreko"). Prints the window's answers; exits 2 when no such window is found.
//   power_notice.exe [automatic|suspend|both]   (both by default: automatic, then suspend)
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

BOOL CALLBACK FindApplicationWindow(HWND w, LPARAM found) {
    wchar_t cls[64] = {}, title[64] = {};
    ::GetClassNameW(w, cls, 64);
    ::GetWindowTextW(w, title, 64);
    if (std::wcscmp(cls, L"TApplication") != 0 || std::wcscmp(title, L"Vreko") != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = w;
    return FALSE;
}

bool Send(HWND w, WPARAM notice, const char* name) {
    DWORD_PTR answer = 0;
    const LRESULT ok = ::SendMessageTimeoutW(w, WM_POWERBROADCAST, notice, 0, SMTO_ABORTIFHUNG, 10000, &answer);
    std::printf("%s: %s, answer %lu\n", name, ok ? "delivered" : "not delivered", static_cast<unsigned long>(answer));
    return ok != 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* which = argc > 1 ? argv[1] : L"both";
    HWND app = nullptr;
    ::EnumWindows(FindApplicationWindow, reinterpret_cast<LPARAM>(&app));
    if (!app) {
        std::printf("no window of class TApplication titled Vreko\n");
        return 2;
    }
    bool ok = true;
    if (std::wcscmp(which, L"suspend") != 0) ok = Send(app, PBT_APMRESUMEAUTOMATIC, "PBT_APMRESUMEAUTOMATIC") && ok;
    if (std::wcscmp(which, L"automatic") != 0) ok = Send(app, PBT_APMRESUMESUSPEND, "PBT_APMRESUMESUSPEND") && ok;
    return ok ? 0 : 1;
}
