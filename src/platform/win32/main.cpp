// Program entry on Windows: set up the window-system backend and run the timer.
#include <memory>
#include <string>

#include "app/main_form.h"
#include "platform/native.h"
#include "platform/win32/win32_platform.h"

// The program is linked without runtime pseudo-relocations (--disable-runtime-pseudo-reloc
// makes the link fail should one ever be needed), so the C runtime's relocator, which would
// change page protections (VirtualProtect) to apply them at start, has nothing to do.
extern "C" void _pei386_runtime_relocator() {}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::string error;
    std::unique_ptr<vreko::Platform> platform = vreko::CreateNativePlatform(error);
    if (!platform) {
        const std::wstring text = vreko::win32::Widen("Vreko cannot start: " + error);
        ::MessageBoxW(nullptr, text.c_str(), L"Vreko", MB_OK | MB_ICONERROR);
        return 1;
    }
    return vreko::RunProgram(*platform);
}
