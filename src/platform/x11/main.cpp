// Program entry on Linux: connect to the X server and run the timer.
#include <cstdio>
#include <memory>
#include <string>

#include "app/main_form.h"
#include "platform/native.h"

int main() {
    std::string error;
    std::unique_ptr<vreko::Platform> platform = vreko::CreateNativePlatform(error);
    if (!platform) {
        std::fprintf(stderr, "vreko: %s\n", error.c_str());
        return 1;
    }
    return vreko::RunProgram(*platform);
}
