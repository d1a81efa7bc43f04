// Small jobs for the Wine tests that only a Windows program can do.
// Usage:
//   vreko_wine_helper.exe dpichanged DPI   sends the running program's main window the DPI
//                                          change a move to a monitor of DPI pixels per inch
//                                          brings (WM_DPICHANGED), and prints "sent" when it
//                                          was taken
//   vreko_wine_helper.exe boxtext          prints the text of the program's open message box
//   vreko_wine_helper.exe resume [automatic|suspend|both]
//                                          sends the running program's application window
//                                          (class "TApplication", title "Vreko") the resume
//                                          notices Windows sends every top-level window after a
//                                          sleep (WM_POWERBROADCAST; both by default: automatic,
//                                          then suspend), and prints its answers; exits 2 when
//                                          no such window is found
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// The main window of the running program: class "TForm1", caption "Vreko".
HWND MainWindow() { return ::FindWindowW(L"TForm1", L"Vreko"); }

int SendDpiChanged(int dpi) {
    HWND w = MainWindow();
    if (!w) {
        std::fprintf(stderr, "no window of the program\n");
        return 1;
    }
    // The rectangle Windows suggests: the window's, scaled about its top-left corner.
    RECT r{};
    ::GetWindowRect(w, &r);
    const UINT old = 96;
    RECT suggested{r.left, r.top, r.left + MulDiv(r.right - r.left, dpi, int(old)),
                   r.top + MulDiv(r.bottom - r.top, dpi, int(old))};
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(w, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested),
                               SMTO_ABORTIFHUNG, 5000, &result)) {
        std::fprintf(stderr, "the window did not answer\n");
        return 1;
    }
    std::printf("sent\n");
    return 0;
}

BOOL CALLBACK PrintStatic(HWND child, LPARAM) {
    wchar_t cls[32] = {};
    ::GetClassNameW(child, cls, 32);
    if (_wcsicmp(cls, L"Static") != 0) return TRUE;
    wchar_t text[2048] = {};
    const int n = ::GetWindowTextW(child, text, 2048);
    if (n <= 0) return TRUE;
    char out[8192] = {};
    ::WideCharToMultiByte(CP_UTF8, 0, text, n, out, sizeof out - 1, nullptr, nullptr);
    std::printf("%s\n", out);
    return TRUE;
}

int PrintBoxText() {
    HWND box = ::FindWindowW(L"#32770", L"Vreko");
    if (!box) {
        std::fprintf(stderr, "no message box of the program\n");
        return 1;
    }
    ::EnumChildWindows(box, PrintStatic, 0);
    return 0;
}

BOOL CALLBACK FindApplicationWindow(HWND w, LPARAM found) {
    wchar_t cls[64] = {}, title[64] = {};
    ::GetClassNameW(w, cls, 64);
    ::GetWindowTextW(w, title, 64);
    if (std::wcscmp(cls, L"TApplication") != 0 || std::wcscmp(title, L"Vreko") != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = w;
    return FALSE;
}

bool SendResume(HWND w, WPARAM notice, const char* name) {
    DWORD_PTR answer = 0;
    const LRESULT ok = ::SendMessageTimeoutW(w, WM_POWERBROADCAST, notice, 0, SMTO_ABORTIFHUNG, 10000, &answer);
    std::printf("%s: %s, answer %lu\n", name, ok ? "delivered" : "not delivered", static_cast<unsigned long>(answer));
    return ok != 0;
}

int SendResumeNotices(const wchar_t* which) {
    HWND app = nullptr;
    ::EnumWindows(FindApplicationWindow, reinterpret_cast<LPARAM>(&app));
    if (!app) {
        std::printf("no window of class TApplication titled Vreko\n");
        return 2;
    }
    bool ok = true;
    if (std::wcscmp(which, L"suspend") != 0)
        ok = SendResume(app, PBT_APMRESUMEAUTOMATIC, "PBT_APMRESUMEAUTOMATIC") && ok;
    if (std::wcscmp(which, L"automatic") != 0) ok = SendResume(app, PBT_APMRESUMESUSPEND, "PBT_APMRESUMESUSPEND") && ok;
    return ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"dpichanged") == 0) return SendDpiChanged(_wtoi(argv[2]));
    if (argc == 2 && std::wcscmp(argv[1], L"boxtext") == 0) return PrintBoxText();
    if ((argc == 2 || argc == 3) && std::wcscmp(argv[1], L"resume") == 0)
        return SendResumeNotices(argc == 3 ? argv[2] : L"both");
    std::fprintf(stderr, "usage: vreko_wine_helper.exe dpichanged DPI | boxtext | resume [automatic|suspend|both]\n");
    return 2;
}
