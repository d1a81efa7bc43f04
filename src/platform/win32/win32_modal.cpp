// The program's work through a modal loop of Windows (a move, a menu, a message box): Windows
// runs that loop itself, and a system timer on the application window brings the program's
// due timers, posted notices and queued events to run from inside it.
#include <algorithm>

#include "platform/win32/win32_platform.h"

namespace vreko::win32 {

namespace {

// While Windows runs its own loop, the program looks at its timers at least this often.
constexpr std::int64_t kModalTimerMaxMs = 250;

}  // namespace

Win32Platform::ModalScope::ModalScope(Win32Platform& platform) : platform_(platform) {
    ++platform_.modalDepth_;
    platform_.ArmModalTimer();
}

Win32Platform::ModalScope::~ModalScope() {
    --platform_.modalDepth_;
    platform_.ArmModalTimer();
}

void Win32Platform::ArmModalTimer() {
    if (!appWindow_) return;
    if (modalDepth_ <= 0 || !loop_) {
        ::KillTimer(appWindow_, kModalTimerId);
        return;
    }
    std::int64_t delay = kModalTimerMaxMs;
    const std::int64_t deadline = loop_->NextDeadline();
    if (deadline >= 0) delay = std::clamp<std::int64_t>(deadline - NowMs(), USER_TIMER_MINIMUM, kModalTimerMaxMs);
    if (!queue_.empty()) delay = USER_TIMER_MINIMUM;  // queued events go first
    ::SetTimer(appWindow_, kModalTimerId, UINT(delay), nullptr);
}

void Win32Platform::RunModalWork() {
    if (!loop_ || modalDepth_ <= modalWorkDepth_) {
        ArmModalTimer();
        return;
    }
    const int outer = modalWorkDepth_;
    modalWorkDepth_ = modalDepth_;
    // Posted notices, queued events and due ticks; a bounded number, so the modal loop keeps
    // its pace.
    for (int i = 0; i < 64 && !loop_->QuitRequested() && loop_->ProcessOne(); ++i) {
    }
    modalWorkDepth_ = outer;
    // The program is ending (its count ran out, say): an open menu or box of ours goes with it.
    if (loop_->QuitRequested()) {
        ::EndMenu();
        for (HWND box : boxes_) {
            ::EndDialog(box, IDOK);
            ::PostMessageW(box, WM_NULL, 0, 0);  // wakes the box's loop to see it
        }
    }
    ArmModalTimer();
}

}  // namespace vreko::win32
