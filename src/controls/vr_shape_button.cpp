#include "controls/vr_shape_button.h"

namespace vreko {

bool PointInPolygon(const std::vector<Point>& polygon, int x, int y) {
    // Nonzero winding number of the pixel centre.
    const double px = x + 0.5, py = y + 0.5;
    int winding = 0;
    const std::size_t n = polygon.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Point a = polygon[i], b = polygon[(i + 1) % n];
        const double cross = (b.x - a.x) * (py - a.y) - (px - a.x) * (b.y - a.y);
        if (a.y <= py) {
            if (b.y > py && cross > 0) ++winding;
        } else if (b.y <= py && cross < 0) {
            --winding;
        }
    }
    return winding != 0;
}

bool PointInEllipse(const Rect& box, int x, int y) {
    const double rx = box.Width() / 2.0, ry = box.Height() / 2.0;
    if (rx <= 0 || ry <= 0) return false;
    const double dx = (x + 0.5 - (box.left + rx)) / rx, dy = (y + 0.5 - (box.top + ry)) / ry;
    return dx * dx + dy * dy <= 1.0;
}

TVrCustomShapeButton::TVrCustomShapeButton(ControlParent* parent) : TVrBaseGraphicControl(parent) {
    SetBounds(0, 0, 25, 25);
    RebuildOutline();
}

TVrCustomShapeButton::~TVrCustomShapeButton() = default;

void TVrCustomShapeButton::SetStyle(TVrShapeButtonStyle s) {
    if (s == style_) return;
    style_ = s;
    RebuildOutline();
}

void TVrCustomShapeButton::SetColors(const TVrShapeButtonColor& c) {
    if (c == colors_) return;
    colors_ = c;
    RebuildOutline();
}

void TVrCustomShapeButton::SetShape(const TVrShape& s) {
    if (s == shape_) return;
    shape_ = s;
    RebuildOutline();
}

void TVrCustomShapeButton::BoundsChanged(bool sizeChanged) {
    if (sizeChanged && !(Parent() && Parent()->DesignLoading())) RebuildOutline();
}

void TVrCustomShapeButton::BuildOutline() {
    // With the 3D style no shadow takes part: the outline rectangle is the client rectangle.
    const int L = 0, T = 0, R = Width(), B = Height();
    const int w = shape_.Bevel.Width;
    const int q = w / 2, r = (w - 1) / 2;
    const int cx = L + (R - L) / 2;
    outline_.Clear();
    switch (shape_.Shape) {
        case TVrShapeType::stDirectUp:
            outline_.Add(cx, T), outline_.Add(R, B), outline_.Add(L, B);
            outline_.Add(cx, T + q), outline_.Add(R - r, B - r), outline_.Add(L + 2 * q, B);
            break;
        case TVrShapeType::stDirectDown:
            outline_.Add(L, T), outline_.Add(R, T), outline_.Add(cx, B);
            outline_.Add(L + q, T + q), outline_.Add(R - r, T + q), outline_.Add(cx, B);
            break;
        case TVrShapeType::stEllipse:
        default:
            // Shapes the program does not use are kept as their bounding box.
            outline_.Add(L, T), outline_.Add(R, B);
            outline_.Add(L + q, T + q), outline_.Add(R - r, B - r);
            break;
    }
}

void TVrCustomShapeButton::RebuildOutline() {
    BuildOutline();
    if (Parent() && !Parent()->DesignLoading()) Parent()->InvalidateControlRect(BoundsRect(), true);
}

bool TVrCustomShapeButton::PointInShape(int x, int y) const {
    const int half = outline_.Count() / 2;
    if (half < 2) return true;  // no region could be built: the whole rectangle counts
    if (shape_.Shape == TVrShapeType::stDirectUp || shape_.Shape == TVrShapeType::stDirectDown) {
        std::vector<Point> polygon;
        for (int i = 0; i < half; ++i) polygon.push_back(outline_[i]);
        return PointInPolygon(polygon, x, y);
    }
    const Point a = outline_[0], b = outline_[1];
    return PointInEllipse({a.x, a.y, b.x, b.y}, x, y);
}

Color TVrCustomShapeButton::FaceColor() const {
    switch (state_) {
        case btsMouseOver: return colors_.MouseOver;
        case btsDown: return colors_.Down;
        case btsDisabled:
        case btsDisabledSet: return colors_.Disabled;
        case btsOptionSet:
        case btsDropDownOpen: return colors_.OptionSet;
        default: return colors_.Up;
    }
}

void TVrCustomShapeButton::Draw(Painter& s) {
    if (Parent() && Parent()->DesignLoading()) return;
    FillBackground(s);
    const Color face = ResolveColor(FaceColor());
    const bool sunken =
        state_ == btsOptionSet || state_ == btsDown || state_ == btsDropDownOpen || state_ == btsDisabledSet;
    const Color light = ResolveColor(shape_.Bevel.LightColor), dark = ResolveColor(shape_.Bevel.ShadowColor);
    const Color e1 = sunken ? dark : light, e2 = sunken ? light : dark;
    const int w = shape_.Bevel.Width;
    const int q = w / 2, r = (w - 1) / 2;
    if (outline_.Count() < 4) return;
    const Point O0 = outline_[0], O1 = outline_[1];
    switch (shape_.Shape) {
        case TVrShapeType::stDirectUp: {
            const Point O2 = outline_[2];
            const std::vector<Point> inner{outline_[3], outline_[4], outline_[5]};
            s.Polygon(inner, face, face, 0);
            s.Polygon(inner, face, face, w);
            s.Polyline({O2, O0, O1}, e1, w);
            s.Polyline({O1, O2}, e2, w);
            break;
        }
        case TVrShapeType::stDirectDown: {
            const Point O2 = outline_[2];
            const std::vector<Point> inner{outline_[3], outline_[4], outline_[5]};
            s.Polygon(inner, face, face, 0);
            s.Polygon(inner, face, face, w);
            s.Polyline({{O0.x - r, O0.y + q}, {O2.x, O2.y - r}, {O1.x - r, O1.y + q}}, e2, w);
            s.Polyline({{O0.x + q, O0.y + q}, {O1.x - r, O1.y - r}}, e1, w);
            break;
        }
        default: {
            const Point I0 = outline_[2], I1 = outline_[3];
            const Rect inner{I0.x, I0.y, I1.x, I1.y};
            s.Ellipse(inner, face, face, 0);
            s.Ellipse(inner, face, face, w);
            const Rect box{O0.x + q, O0.y + q, O1.x - r, O1.y - r};
            const Point topRight{box.right, box.top}, bottomLeft{box.left, box.bottom};
            s.Arc(box, topRight, bottomLeft, e1, w);
            s.Arc(box, bottomLeft, topRight, e2, w);
            break;
        }
    }
}

void TVrCustomShapeButton::Click() {
    if (OnClick) OnClick(*this);
}

void TVrCustomShapeButton::SetEnabled(bool on) {
    if (on == Enabled) return;
    Enabled = on;
    state_ = on ? btsUp : btsDisabled;
    if (Parent()) Parent()->InvalidateControlRect(BoundsRect(), true);
}

void TVrCustomShapeButton::SetButtonState(ButtonState state, bool force) {
    if (state == state_ && !force) return;
    const auto between = [&](ButtonState a, ButtonState b) {
        return (state_ == a && state == b) || (state_ == b && state == a);
    };
    bool shows = true;
    if (between(btsUp, btsMouseOver) && colors_.Up == colors_.MouseOver) shows = false;
    if (between(btsMouseOver, btsOptionSet)) shows = false;
    previousState_ = (state == btsMouseOver && state_ != btsOptionSet) ? btsUp : state_;
    state_ = state;
    if (shows && Visible) {
        if (!ButtonTransparent)
            DrawNow();
        else if (Parent())
            Parent()->InvalidateControlRect(BoundsRect(), true);
    }
    if (!AllowMouseOver) return;
    if (state_ != btsMouseOver) {
        hoverPoll_.reset();
    } else if (!hoverPoll_ && Parent()) {
        hoverPoll_ = std::make_unique<TickSource>(Parent()->Loop(), 100, [this] { CheckHover(); });
        hoverPoll_->Start();
    }
}

void TVrCustomShapeButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TVrBaseControl::MouseDown(button, shift, x, y);
    if (!Inside(x, y)) return;
    if (!Enabled || button != TMouseButton::mbLeft) return;
    pressTracked_ = true;
    SetButtonState(btsDown);
}

void TVrCustomShapeButton::MouseMove(TShiftState, int x, int y) {
    if (!Enabled) return;
    const bool inside = Inside(x, y);
    ButtonState next = state_;
    if (inside)
        next = btsMouseOver;
    else if (state_ == btsMouseOver)
        next = previousState_;
    if (pressTracked_) next = inside ? btsDown : btsUp;
    SetButtonState(next);
    if (inside && state_ != btsMouseOver && state_ == btsUp) SetButtonState(btsMouseOver);
}

void TVrCustomShapeButton::MouseUp(TMouseButton, TShiftState, int x, int y) {
    if (!pressTracked_) return;
    pressTracked_ = false;
    if (!Inside(x, y)) {
        if (state_ != btsDisabled && state_ != btsDisabledSet) SetButtonState(btsUp);
        return;
    }
    SetButtonState(btsMouseOver);
    Click();
}

void TVrCustomShapeButton::MouseLeave() {
    if (state_ == btsMouseOver) SetButtonState(previousState_);
}

void TVrCustomShapeButton::CheckHover() {
    if (!Parent()) return;
    const std::optional<Point> pointer = Parent()->PointerPosition();
    if (Enabled && !(pointer && PointInShape(pointer->x - Left, pointer->y - Top))) SetButtonState(btsUp);
}

}  // namespace vreko
