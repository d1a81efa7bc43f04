#include "controls/control_host.h"

#include <algorithm>

namespace vreko {

namespace {

TMouseButton ButtonOf(PointerButton b) {
    switch (b) {
        case PointerButton::Right: return TMouseButton::mbRight;
        case PointerButton::Middle: return TMouseButton::mbMiddle;
        default: return TMouseButton::mbLeft;
    }
}

// The parts of area that rect does not cover.
std::vector<Rect> Subtract(const Rect& area, const Rect& rect) {
    if (!area.Intersects(rect)) return {area};
    std::vector<Rect> out;
    if (rect.top > area.top) out.push_back({area.left, area.top, area.right, rect.top});
    if (rect.bottom < area.bottom) out.push_back({area.left, rect.bottom, area.right, area.bottom});
    const int top = std::max(area.top, rect.top), bottom = std::min(area.bottom, rect.bottom);
    if (rect.left > area.left) out.push_back({area.left, top, rect.left, bottom});
    if (rect.right < area.right) out.push_back({rect.right, top, area.right, bottom});
    return out;
}

}  // namespace

TVrBaseControl* ControlHost::ControlAt(Point client) const {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
        if ((*it)->Visible && (*it)->BoundsRect().Contains(client)) return *it;
    return nullptr;
}

bool ControlHost::EnabledControlAt(Point client) const {
    for (TVrBaseControl* c : controls_)
        if (c->Visible && c->Enabled && c->BoundsRect().Contains(client)) return true;
    return false;
}

void ControlHost::RoutePointer(Point p, const ButtonChanged* button, HeldKeys held) {
    const bool press = button && button->down;
    const bool release = button && !button->down;
    const TShiftState shift{held, button && button->doubleClick};

    TVrBaseControl* target = capture_;
    if (!target) {
        TrackHover(p);
        target = hover_;
    }
    if (target) {
        const int x = p.x - target->Left, y = p.y - target->Top;
        if (press) {
            if (target->CapturesMouse() && window_) {
                capture_ = target;
                window_->CapturePointer();
            }
            target->MouseDown(ButtonOf(button->button), shift, x, y);
        } else if (release) {
            target->MouseUp(ButtonOf(button->button), shift, x, y);
        } else {
            target->MouseMove(shift, x, y);
        }
    }
    if (release && capture_ && !held.ButtonHeld()) {
        capture_ = nullptr;
        if (window_) window_->ReleasePointer();
        // The pointer may have left the control while it held the capture.
        TrackHover(p);
    }
}

void ControlHost::PointerLeft() {
    if (hover_ && !capture_) hover_->MouseLeave();
    if (!capture_) hover_ = nullptr;
}

void ControlHost::TrackHover(Point client) {
    TVrBaseControl* under = ControlAt(client);
    if (under != hover_) {
        if (hover_) hover_->MouseLeave();
        hover_ = under;
        if (hover_) hover_->MouseEnter();
    }
    if (window_) window_->SetCursor(under && under->handCursor ? CursorKind::Hand : CursorKind::Arrow);
}

void ControlHost::Paint(const Rect& area, Color color) {
    std::unique_ptr<Painter> surface = window_ ? window_->Draw(area) : nullptr;
    if (!surface) return;
    // The window's own background, except under its opaque controls.
    std::vector<Rect> background{area};
    for (TVrBaseControl* c : controls_) {
        if (!c->Visible || !c->Opaque()) continue;
        std::vector<Rect> rest;
        for (const Rect& r : background)
            for (const Rect& piece : Subtract(r, c->BoundsRect())) rest.push_back(piece);
        background = std::move(rest);
    }
    surface->SetOrigin({0, 0});
    for (const Rect& r : background) {
        surface->SetClip(area);
        surface->FillRect(r, color);
    }
    for (TVrBaseControl* c : controls_)
        if (c->Visible && c->BoundsRect().Intersects(area)) c->PaintOn(*surface);
}

std::unique_ptr<Painter> ControlHost::GetControlDC(const Rect& r) { return window_ ? window_->Draw(r) : nullptr; }

void ControlHost::InvalidateControlRect(const Rect& r, bool) {
    if (window_) window_->Invalidate(&r);
}

std::optional<Point> ControlHost::PointerPosition() { return window_ ? window_->PointerPosition() : std::nullopt; }

}  // namespace vreko
