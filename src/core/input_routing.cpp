#include "core/input_routing.h"

#include <cstdint>

namespace vreko {

void AppOnMessage(const Message& Msg, bool& Handled, InputTargets& t) {
    (void)Handled;  // every message goes on to its window
    // While one of our own modal boxes is open the user's input does not reach the timer.
    if (t.hold.Active()) return;
    if (Msg.message == msg::kKeyDown) {
        const std::uint64_t key = Msg.wParam;
        if (key == vk::kUp || key == vk::kRight) t.clickUp();
        if (key == vk::kDown || key == vk::kLeft) t.clickDown();
        t.controller.ResetIdle();
        if (key == vk::kEscape) t.controller.HideOrClose();
    } else if (Msg.message - msg::kMouseMove < 10u) {
        t.controller.ResetIdle();
    } else if (Msg.message == msg::kMouseWheel) {
        // The delta lies in the high word, so the sign of the whole 32-bit value is its sign.
        const auto value = static_cast<std::int32_t>(static_cast<std::uint32_t>(Msg.wParam));
        t.controller.StepTime(value > 0 ? 0 : 1);
        t.controller.ResetIdle();
    }
}

}  // namespace vreko
