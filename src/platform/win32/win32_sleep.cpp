// The hold on automatic sleep on Windows: the thread's execution state asks for the system,
// not the display. The wake-up is told by the application window (win32_events.cpp).
#include "platform/win32/win32_platform.h"

namespace vreko::win32 {

void Win32SleepHold::Take() {
    if (held_) return;
    held_ = true;
    ::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
}

void Win32SleepHold::Release() {
    if (!held_) return;
    held_ = false;
    ::SetThreadExecutionState(ES_CONTINUOUS);
}

}  // namespace vreko::win32
