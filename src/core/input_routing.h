// The application-wide event hook: arrow keys and the wheel dial, Escape hides or closes,
// and any key or client pointer activity postpones the hide. It never stops an event.
#pragma once

#include <functional>

#include "core/countdown.h"
#include "core/modal_hold.h"
#include "platform/events.h"

namespace vreko {

struct InputTargets {
    CountdownController& controller;
    ModalHold& hold;
    std::function<void()> clickUp;    // raises btnUp's click
    std::function<void()> clickDown;  // raises btnDown's click
};

void AppOnMessage(const Event& Msg, bool& Handled, InputTargets& targets);

}  // namespace vreko
