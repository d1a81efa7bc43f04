// Program entry: connect to the window system and run the timer.
#include <cstdio>
#include <string>

#include "app/main_form.h"
#include "platform/native.h"

#ifdef _WIN32
#include <windows.h>
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
#else
int main() {
#endif
    std::string error;
    std::unique_ptr<vreko::Platform> platform = vreko::CreateNativePlatform(error);
    if (!platform) {
        std::fprintf(stderr, "vreko: %s\n", error.c_str());
        return 1;
    }
    return vreko::RunProgram(*platform);
}
