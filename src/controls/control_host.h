// The windowless controls' host on a window: it routes the pointer to the control under it
// (or to the one holding it), tracks the hover and the pointer's shape, and composes the
// window's picture from its background and its controls.
#pragma once

#include <memory>
#include <vector>

#include "controls/base_control.h"
#include "platform/platform.h"

namespace vreko {

class ControlHost : public ControlParent {
public:
    explicit ControlHost(EventLoop& loop) : loop_(loop) {}

    // The window the controls sit on (null until it exists), and the controls in their
    // drawing order (later ones on top).
    void SetWindow(Window* window) { window_ = window; }
    void SetControls(std::vector<TVrBaseControl*> controls) { controls_ = std::move(controls); }
    const std::vector<TVrBaseControl*>& Controls() const { return controls_; }
    // True while the window's design is being loaded.
    bool loading = true;

    // A pointer event of the client area: the control holding the pointer takes it, else the
    // one under it; a press on a control that captures holds the pointer until the last
    // button is let go.
    void RoutePointer(Point at, const ButtonChanged* button, HeldKeys held);
    // The pointer has left the window.
    void PointerLeft();
    bool Capturing() const { return capture_ != nullptr; }
    // The topmost visible control at a client point, if any.
    TVrBaseControl* ControlAt(Point client) const;
    // Whether a visible, enabled control lies at a client point.
    bool EnabledControlAt(Point client) const;
    // Draws area: the background (colour) except under the opaque controls, then each control.
    void Paint(const Rect& area, Color background);

    // ControlParent
    std::unique_ptr<Painter> GetControlDC(const Rect& r) override;
    void InvalidateControlRect(const Rect& r, bool erase) override;
    bool DesignLoading() const override { return loading; }
    EventLoop& Loop() override { return loop_; }
    std::optional<Point> PointerPosition() override;

private:
    // Tells controls that the pointer entered or left them, and shows their pointer shape.
    void TrackHover(Point client);

    EventLoop& loop_;
    Window* window_ = nullptr;
    std::vector<TVrBaseControl*> controls_;
    TVrBaseControl* capture_ = nullptr;
    TVrBaseControl* hover_ = nullptr;
};

}  // namespace vreko
