// The screen on Windows: the primary monitor's bounds and its resolution.
#include "platform/win32/win32_platform.h"

namespace vreko::win32 {

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

}  // namespace vreko::win32
