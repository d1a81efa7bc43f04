// Windowless controls: they occupy a rectangle of their parent window, draw on the parent's
// surface clipped to that rectangle, and receive the mouse events the parent routes to them.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/event_loop.h"
#include "platform/painter.h"
#include "platform/types.h"

namespace vreko {

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// Shift state of a mouse event: the buttons and keys held, and the double-click mark.
struct TShiftState {
    HeldKeys keys;
    bool doubleClick = false;
};

// What a windowless control needs from the window it sits on.
class ControlParent {
public:
    virtual ~ControlParent() = default;
    // The window's surface for an immediate drawing of r (client coordinates), or null when
    // the window has no native window yet or is not shown; it shows what is drawn when it goes
    // away.
    virtual std::unique_ptr<Painter> GetControlDC(const Rect& r) = 0;
    // Schedules a repaint of r (client coordinates) with the window's next paint.
    virtual void InvalidateControlRect(const Rect& r, bool erase) = 0;
    // True while the window's design is being loaded: controls neither draw nor resize.
    virtual bool DesignLoading() const = 0;
    virtual EventLoop& Loop() = 0;
    // The pointer's position in the window's client coordinates, when the window system tells.
    virtual std::optional<Point> PointerPosition() = 0;
};

class TVrBaseControl {
public:
    explicit TVrBaseControl(ControlParent* parent) : parent_(parent) {}
    virtual ~TVrBaseControl() = default;
    TVrBaseControl(const TVrBaseControl&) = delete;
    TVrBaseControl& operator=(const TVrBaseControl&) = delete;

    int Left = 0, Top = 0;
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetBounds(int left, int top, int width, int height);
    Rect BoundsRect() const { return {Left, Top, Left + width_, Top + height_}; }
    Rect ClientRect() const { return {0, 0, width_, height_}; }

    bool Visible = true;
    bool Enabled = true;
    std::int32_t Tag = 0;
    bool handCursor = false;  // the window shows the hand pointer over the rectangle

    Color GetColor() const { return color_; }
    void SetColor(Color c);

    // Opaque controls paint every pixel of their rectangle; the parent leaves it out.
    virtual bool Opaque() const { return false; }

    // The parent's paint cycle hands each control a surface moved to its top-left corner
    // and clipped to its rectangle.
    void PaintOn(Painter& surface);
    // Draws at once on the parent's surface, outside the paint cycle.
    void DrawNow();

    // Mouse input in the control's own coordinates.
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y) {
        (void)shift;
        (void)x;
        (void)y;
    }
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
        (void)button;
        (void)shift;
        (void)x;
        (void)y;
    }
    virtual void MouseEnter() {}
    virtual void MouseLeave() {}
    // Whether the control takes a press at this point (and so the capture while it is held).
    virtual bool CapturesMouse() const { return false; }

    std::function<void(TVrBaseControl& sender, TMouseButton, TShiftState, int x, int y)> OnMouseDown;

protected:
    virtual void Draw(Painter& surface) = 0;
    virtual void BoundsChanged(bool sizeChanged) { (void)sizeChanged; }
    // Fills the client rectangle with Color.
    void FillBackground(Painter& surface) { surface.FillRect(ClientRect(), ResolveColor(color_)); }
    ControlParent* Parent() const { return parent_; }

private:
    ControlParent* parent_;
    int width_ = 0, height_ = 0;
    Color color_ = colors::kBlack;
};

// Adds the transparency flag, the painting-in-progress flag, the update lock and the
// repaint rule shared by the label and the buttons.
class TVrBaseGraphicControl : public TVrBaseControl {
public:
    using TVrBaseControl::TVrBaseControl;

    bool Transparent() const { return transparent_; }
    void SetTransparent(bool on);
    bool Opaque() const override { return !transparent_; }

    void BeginUpdate() { ++updateLock_; }
    void EndUpdate();

protected:
    // Whenever the control has to show a change: nothing while locked or without a parent;
    // a transparent control is invalidated, an opaque one drawn at once.
    void RepaintRule();
    bool painting_ = false;
    int updateLock_ = 0;

private:
    bool transparent_ = true;
};

}  // namespace vreko
