// The window-system backend the program runs on: X11 on Linux, Win32 on Windows.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace vreko {

// Connects to the window system; null with a reason in error when that is impossible.
std::unique_ptr<Platform> CreateNativePlatform(std::string& error);

}  // namespace vreko
