#include "controls/vr_form_shape.h"

namespace vreko {

void TVrFormShape::HookOwner(NativeWindow* window, int width, int height) {
    if (window_ || !window) return;
    window_ = window;
    width_ = width;
    height_ = height;
}

void TVrFormShape::Loaded(NativeWindow* window, int width, int height) {
    if (!Enabled) return;
    HookOwner(window, width, height);
    UpdateRegion();
}

void TVrFormShape::UpdateRegion() {
    if (!window_) return;
    // One pixel larger than the window on every side, so only the four corners are cut.
    Rect box{-1, -1, width_ + 1, height_ + 1};
    box = box.Offset(Region.Offset.x, Region.Offset.y);
    window_->SetRoundRectRegion(box, Region.RoundX, Region.RoundY);
}

void TVrFormShape::Resize(int width, int height) {
    width_ = width;
    height_ = height;
    UpdateRegion();
}

void TVrFormShape::FilterMessage(const Message& m) {
    switch (m.message) {
        case msg::kNcRButtonDown:
            rightButtonDown_ = true;
            break;
        case msg::kNcRButtonUp:
        case msg::kCaptureChanged:
            rightButtonDown_ = false;
            break;
        default:
            break;
    }
}

int TVrFormShape::HitTest(int clientHit, bool controlUnder) const {
    if (Enabled && FormDragable && clientHit == kHtClient && !controlUnder && !rightButtonDown_) return kHtCaption;
    return clientHit;
}

}  // namespace vreko
