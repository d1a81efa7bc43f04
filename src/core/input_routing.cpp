#include "core/input_routing.h"

namespace vreko {

void AppOnMessage(const Event& Msg, bool& Handled, InputTargets& t) {
    (void)Handled;  // every event goes on to its window
    // While one of our own modal boxes is open the user's input does not reach the timer.
    if (t.hold.Active()) return;
    if (const KeyPressed* k = Msg.As<KeyPressed>()) {
        // A key the window system keeps for itself (with Alt, or F10) is not the program's.
        if (k->withAlt) return;
        if (k->key == Key::Up || k->key == Key::Right) t.clickUp();
        if (k->key == Key::Down || k->key == Key::Left) t.clickDown();
        t.controller.ResetIdle();
        if (k->key == Key::Escape) t.controller.HideOrClose();
    } else if (const WheelTurned* w = Msg.As<WheelTurned>()) {
        t.controller.StepTime(w->steps > 0 ? 0 : 1);
        t.controller.ResetIdle();
    } else {
        // Pointer moves and buttons on the client area count; on the bare background, which
        // drags the window, they do not.
        const PointerMoved* m = Msg.As<PointerMoved>();
        const ButtonChanged* b = Msg.As<ButtonChanged>();
        if ((m && m->area == Area::Client) || (b && b->area == Area::Client)) t.controller.ResetIdle();
    }
}

}  // namespace vreko
