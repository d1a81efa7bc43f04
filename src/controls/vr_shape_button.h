// A windowless push button whose face is a geometric shape: the up and down triangles and
// the round close button of the main window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "controls/base_control.h"

namespace vreko {

enum class TVrShapeType {
    stEllipse,
    stRectangle,
    stRoundRect,
    stDirectUp,
    stDirectRight,
    stDirectDown,
    stDirectLeft,
    stDiamond,
    stComb,
    stOctagon,
    stStar
};
enum class TVrShapeButtonStyle { sbsShadow, sbs3D };
enum class TVrShapeButtonMode { sbmShapeFast, sbmShapeFill };
enum class TVrShadowStyle { hssNone, hssSolid, hssTracing };

enum ButtonState : int {
    btsUp = 0,
    btsDisabled = 1,
    btsMouseOver = 2,
    btsOptionSet = 3,
    btsDown = 4,
    btsDropDownOpen = 6,
    btsDisabledSet = 7
};

// Face colour of each state.
struct TVrShapeButtonColor {
    Color Up = colors::kBtnFace;
    Color MouseOver = colors::kBtnFace;
    Color Down = colors::kBtnFace;
    Color Disabled = colors::kBtnFace;
    Color OptionSet = colors::kBtnFace;
    friend bool operator==(const TVrShapeButtonColor&, const TVrShapeButtonColor&) = default;
};

struct TVrSimpleBevel {
    int Width = 2;
    Color LightColor = colors::kBtnHighlight;
    Color ShadowColor = colors::kBtnShadow;
    Color Color_ = colors::kBlack;
    friend bool operator==(const TVrSimpleBevel&, const TVrSimpleBevel&) = default;
};

struct TVrShadow {
    TVrShadowStyle Style = TVrShadowStyle::hssSolid;
    int Depth = 6;
    Color Color_ = colors::kBtnShadow;
    friend bool operator==(const TVrShadow&, const TVrShadow&) = default;
};

struct TVrShape {
    TVrShapeType Shape = TVrShapeType::stRectangle;
    bool Square = false;
    int RoundPercent = 33;
    Color BrushColor = colors::kBtnFace;
    TVrSimpleBevel Bevel;
    TVrShadow Shadow;
    friend bool operator==(const TVrShape&, const TVrShape&) = default;
};

// Outline points: x in the low 16 bits, y in the high 16 bits, read back as unsigned.
class TVrPointList {
public:
    void Clear() { points_.clear(); }
    void Add(int x, int y) {
        points_.push_back(std::uint32_t(std::uint16_t(x)) | (std::uint32_t(std::uint16_t(y)) << 16));
    }
    int Count() const { return int(points_.size()); }
    Point operator[](int i) const {
        return {int(points_[std::size_t(i)] & 0xFFFF), int(points_[std::size_t(i)] >> 16)};
    }

private:
    std::vector<std::uint32_t> points_;
};

// Region membership as a window system fills a region: the pixel at (x, y) is in when its
// centre lies inside the polygon (nonzero winding) or the ellipse inscribed in the box.
bool PointInPolygon(const std::vector<Point>& polygon, int x, int y);
bool PointInEllipse(const Rect& box, int x, int y);

class TVrCustomShapeButton : public TVrBaseGraphicControl {
public:
    explicit TVrCustomShapeButton(ControlParent* parent);
    ~TVrCustomShapeButton() override;

    // The button's own transparency flag (off: opaque, state changes drawn at once).
    bool ButtonTransparent = false;
    bool Opaque() const override { return false; }  // the parent paints its background under it
    bool AllowTransparency = true;
    bool AllowMouseOver = true;
    bool UseCaption = true;

    TVrShapeButtonStyle Style() const { return style_; }
    void SetStyle(TVrShapeButtonStyle s);
    TVrShapeButtonMode Mode() const { return mode_; }
    const TVrShapeButtonColor& Colors() const { return colors_; }
    void SetColors(const TVrShapeButtonColor& c);
    const TVrShape& Shape() const { return shape_; }
    void SetShape(const TVrShape& s);

    std::function<void(TVrCustomShapeButton& sender)> OnClick;

    ButtonState State() const { return state_; }
    ButtonState PreviousState() const { return previousState_; }
    bool PressTracked() const { return pressTracked_; }
    bool HoverPollRunning() const { return hoverPoll_ != nullptr; }
    const TVrPointList& Outline() const { return outline_; }

    void Click();
    bool PointInShape(int x, int y) const;
    void SetButtonState(ButtonState state, bool force = false);
    void RebuildOutline();
    void CheckHover();
    void SetEnabled(bool on);

    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseLeave() override;
    bool CapturesMouse() const override { return true; }

    // Loading of the window's design has ended: the outline follows the final values.
    void Loaded() { RebuildOutline(); }

protected:
    void Draw(Painter& surface) override;
    void BoundsChanged(bool sizeChanged) override;

private:
    void BuildOutline();
    bool Inside(int x, int y) const { return AllowTransparency ? PointInShape(x, y) : ClientRect().Contains({x, y}); }
    Color FaceColor() const;

    TVrShapeButtonStyle style_ = TVrShapeButtonStyle::sbsShadow;
    TVrShapeButtonMode mode_ = TVrShapeButtonMode::sbmShapeFast;
    TVrShapeButtonColor colors_;
    TVrShape shape_;
    ButtonState state_ = btsUp;
    ButtonState previousState_ = btsUp;
    bool pressTracked_ = false;
    TVrPointList outline_;
    std::unique_ptr<TickSource> hoverPoll_;
};

class TVrShapeButton : public TVrCustomShapeButton {
public:
    using TVrCustomShapeButton::TVrCustomShapeButton;
};

}  // namespace vreko
