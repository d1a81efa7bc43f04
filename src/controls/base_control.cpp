#include "controls/base_control.h"

namespace vreko {

void TVrBaseControl::SetBounds(int left, int top, int width, int height) {
    const bool sized = width != width_ || height != height_;
    if (left == Left && top == Top && !sized) return;
    Left = left;
    Top = top;
    width_ = width;
    height_ = height;
    BoundsChanged(sized);
}

void TVrBaseControl::SetColor(Color c) {
    if (c == color_) return;
    color_ = c;
    if (parent_) parent_->InvalidateControlRect(BoundsRect(), false);
}

void TVrBaseControl::PaintOn(Painter& surface) {
    surface.SetOrigin({Left, Top});
    surface.SetClip(BoundsRect());
    Draw(surface);
}

void TVrBaseControl::DrawNow() {
    if (!parent_ || parent_->DesignLoading() || !Visible) return;
    std::unique_ptr<Painter> dc = parent_->GetControlDC(BoundsRect());
    if (dc) PaintOn(*dc);
}

void TVrBaseControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseDown) OnMouseDown(*this, button, shift, x, y);
}

void TVrBaseGraphicControl::SetTransparent(bool on) {
    if (on == transparent_) return;
    transparent_ = on;
    if (Visible) RepaintRule();
}

void TVrBaseGraphicControl::EndUpdate() {
    if (updateLock_ > 0 && --updateLock_ == 0) RepaintRule();
}

void TVrBaseGraphicControl::RepaintRule() {
    ControlParent* parent = Parent();
    if (updateLock_ > 0 || !parent) return;
    if (Transparent()) {
        parent->InvalidateControlRect(BoundsRect(), true);
        return;
    }
    DrawNow();
}

}  // namespace vreko
