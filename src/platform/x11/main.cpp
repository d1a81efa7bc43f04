// Program entry on Linux: connect to the X server and run the timer.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/main_form.h"
#include "platform/native.h"

namespace {

const char* const kUsage =
    "Usage: vreko [--help | --version]\n"
    "\n"
    "A switch-off timer: dial a delay with the arrow keys or the wheel; when nobody touches it\n"
    "for a while, the window hides and counts down, warns a minute before the end and then runs\n"
    "the action from its settings file. Any other argument is ignored.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "The settings file, its keys and its commands are described in vreko(1): man vreko\n";

}  // namespace

int main(int argc, char** argv) {
    // As every command-line program does; any other argument is ignored, as the timer reads none.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("vreko " VREKO_VERSION "\n", stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    // The program's life belongs to the X session, not to the terminal it was started from:
    // closing that terminal must not drop a dialled switch-off. (The commands it starts get
    // the default dispositions back.)
    std::signal(SIGHUP, SIG_IGN);

    std::string error;
    std::unique_ptr<vreko::Platform> platform = vreko::CreateNativePlatform(error);
    if (!platform) {
        std::fprintf(stderr, "vreko: %s\n", error.c_str());
        return 1;
    }
    return vreko::RunProgram(*platform);
}
