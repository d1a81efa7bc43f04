// Small jobs for the Wine tests that only a Windows program can do.
// Usage:
//   vreko_wine_helper.exe dpichanged DPI   sends the running program's main window the DPI
//                                          change a move to a monitor of DPI pixels per inch
//                                          brings (WM_DPICHANGED), and prints "sent" when it
//                                          was taken
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"dpichanged") == 0) return SendDpiChanged(_wtoi(argv[2]));
    std::fprintf(stderr, "usage: vreko_wine_helper.exe dpichanged DPI\n");
    return 2;
}
