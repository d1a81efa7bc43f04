#include "controls/vr_form_shape.h"

namespace vreko {

void TVrFormShape::HookOwner(Window* window, int width, int height) {
    if (window_ || !window) return;
    window_ = window;
    width_ = width;
    height_ = height;
}

void TVrFormShape::Loaded(Window* window, int width, int height) {
    if (!Enabled) return;
    HookOwner(window, width, height);
    UpdateRegion();
}

void TVrFormShape::UpdateRegion() {
    if (!window_) return;
    // One pixel larger than the window on every side, so only the four corners are cut.
    Rect box{-1, -1, width_ + 1, height_ + 1};
    box = box.Offset(Region.Offset.x, Region.Offset.y);
    window_->SetRoundedOutline(box, Region.RoundX, Region.RoundY);
}

void TVrFormShape::Resize(int width, int height) {
    width_ = width;
    height_ = height;
    UpdateRegion();
}

void TVrFormShape::FilterEvent(const Event& e) {
    if (const ButtonChanged* b = e.As<ButtonChanged>()) {
        if (b->area == Area::Background && b->button == PointerButton::Right && !b->doubleClick)
            rightButtonDown_ = b->down;
    } else if (e.As<GrabLost>()) {
        rightButtonDown_ = false;
    }
}

Area TVrFormShape::AreaAt(Area clientArea, bool controlUnder) const {
    if (Enabled && FormDragable && clientArea == Area::Client && !controlUnder && !rightButtonDown_)
        return Area::Background;
    return clientArea;
}

}  // namespace vreko
