// The effect label that draws the big readout: a caption in a large font over a solid
// background, inside an optional frame and with optional text effects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "controls/base_control.h"

namespace vreko {

enum class TVrAlignment {
    agTopLeft,
    agTopCenter,
    agTopRight,
    agCenterLeft,
    agCenter,
    agCenterRight,
    agBottomLeft,
    agBottomCenter,
    agBottomRight
};
enum class TVrBevelMode { bmCustom, bmStandard, bmEdge, bmWindows };
enum class TVrBevelStyle { bvNone, bvLowered, bvRaised, bvFrameLowered, bvFrameRaised, bvNormal, bvShadow, bvSpace };
enum class TVrThreeDStyle {
    tdNone,
    tdSunken,
    tdRaised,
    tdSunkenShadow,
    tdRaisedShadow,
    tdPColorSunken,
    tdPColorRaised,
    tdShadow,
    tdOutline,
    tdExtrude,
    tdExtrudeEnh
};
enum class TVrThreeDOrientation { toBottomLeft, toBottomRight, toTopLeft, toTopRight };
enum class TVrDisabledStyle { dsAuto, dsStandard, ds3d, dsNone };
enum TVrLabelOption : unsigned { loPathEllipsis = 1, loEndEllipsis = 2, loEditControl = 4, loShowLabelHint = 8 };

struct TFont {
    FontSpec desc;
    Color color = colors::kBlack;
    int charset = 1;  // DEFAULT_CHARSET
    friend bool operator==(const TFont&, const TFont&) = default;
};

// The frame. Every change recomputes the extent it takes from each side of the label.
class TVrBevel {
public:
    explicit TVrBevel(std::function<void()> onChange) : onChange_(std::move(onChange)) { Recompute(); }

    TVrBevelMode Mode() const { return mode_; }
    void SetMode(TVrBevelMode m) { Set(mode_, m); }
    void SetStyleOuter(TVrBevelStyle s) { Set(styleOuter_, s); }
    void SetStyleInner(TVrBevelStyle s) { Set(styleInner_, s); }
    void SetWidthOuter(int w) { Set(widthOuter_, w); }
    void SetWidthInner(int w) { Set(widthInner_, w); }
    void SetBorderWidth(int w) { Set(borderWidth_, w); }
    void SetBorderInnerWidth(int w) { Set(borderInnerWidth_, w); }
    int Extent() const { return extent_; }

    Color BorderColor = colors::kBtnFace;
    Color LightColor = colors::kBtnHighlight;
    Color ShadowColor = colors::kBtnShadow;

private:
    template <class T>
    void Set(T& field, T value) {
        if (field == value) return;
        field = value;
        Recompute();
        if (onChange_) onChange_();
    }
    void Recompute();

    std::function<void()> onChange_;
    TVrBevelMode mode_ = TVrBevelMode::bmCustom;
    TVrBevelStyle styleOuter_ = TVrBevelStyle::bvNone, styleInner_ = TVrBevelStyle::bvNone;
    int widthOuter_ = 1, widthInner_ = 1, borderWidth_ = 0, borderInnerWidth_ = 0;
    int extent_ = 0;
};

// The text effects. Only the plain style is drawn; the others keep their values.
class TVrFxCaption {
public:
    explicit TVrFxCaption(std::function<void()> onChange) : onChange_(std::move(onChange)) {}

    TVrThreeDStyle Style() const { return style_; }
    void SetStyle(TVrThreeDStyle s) { Set(style_, s); }
    int ShadowDepth() const { return shadowDepth_; }
    void SetShadowDepth(int d) { Set(shadowDepth_, d & 0xFF); }
    int LightDepth() const { return lightDepth_; }
    void SetLightDepth(int d) { Set(lightDepth_, d & 0xFF); }
    Color LightColor() const { return lightColor_; }
    void SetLightColor(Color c) { Set(lightColor_, c); }
    Color ShadowColor() const { return shadowColor_; }
    void SetShadowColor(Color c) { Set(shadowColor_, c); }
    int Tracing() const { return tracing_; }
    void SetTracing(int t) { Set(tracing_, t); }
    int PosX() const { return posX_; }
    void SetPosX(int x) { Set(posX_, x & 0xFFFF); }
    int PosY() const { return posY_; }
    void SetPosY(int y) { Set(posY_, y & 0xFFFF); }
    int Angle() const { return angle_; }
    void SetAngle(int a) { Set(angle_, a == 360 ? 0 : a); }
    TVrThreeDOrientation Orientation = TVrThreeDOrientation::toTopLeft;
    TVrDisabledStyle DisabledStyle = TVrDisabledStyle::dsAuto;

private:
    template <class T>
    void Set(T& field, T value) {
        if (field == value) return;
        field = value;
        if (onChange_) onChange_();
    }
    std::function<void()> onChange_;
    TVrThreeDStyle style_ = TVrThreeDStyle::tdNone;
    int lightDepth_ = 1, shadowDepth_ = 1;
    Color lightColor_ = colors::kBtnHighlight, shadowColor_ = colors::kBtnShadow;
    int tracing_ = 0, posX_ = 0, posY_ = 0, angle_ = 0;
};

class TVrBaseLabel : public TVrBaseGraphicControl {
public:
    using TVrBaseGraphicControl::TVrBaseGraphicControl;

    TVrAlignment Alignment() const { return alignment_; }
    void SetAlignment(TVrAlignment a);
    bool AutoSize = true;  // fitting the bounds to the text is not used: the readout has it off
    bool MultiLine() const { return multiLine_; }
    void SetMultiLine(bool on);
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool on);
    unsigned Options() const { return options_; }
    void SetOptions(unsigned o);

protected:
    virtual void ContentChanged() = 0;

    TVrAlignment alignment_ = TVrAlignment::agTopLeft;
    bool multiLine_ = false;
    bool showAccelChar_ = true;
    unsigned options_ = 0;
};

// One line of caption text after accelerator-prefix handling.
struct CaptionLine {
    std::string text;         // what is drawn, "&" prefixes removed
    int underline = -1;       // byte offset of the underlined character, or -1
    int underlineLength = 0;  // its length in bytes
};
CaptionLine StripAccelerators(const std::string& caption, bool showAccelChar);

class TVrCustomLabel : public TVrBaseLabel {
public:
    explicit TVrCustomLabel(ControlParent* parent);

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& text);

    const TFont& Font() const { return font_; }
    void SetFontName(const std::string& face);
    void SetFontHeight(int height);
    void SetFontColor(Color color);
    void SetFontCharset(int charset);
    void SetFont(const TFont& font);
    bool ParentFont = true;

    TVrBevel Bevel;
    TVrFxCaption FontFX;

    // The window's design has been read in full: take the drawing copy of the font.
    void Loaded();

    int DrawCount() const { return drawCount_; }

protected:
    void Draw(Painter& surface) override;
    void ContentChanged() override;
    void FontChanged();

private:
    bool NothingToDraw() const { return Transparent() && caption_.empty() && Bevel.Extent() == 0; }
    void DrawTextWithEffect(Painter& surface, const std::string& caption, Rect textRect);

    std::string caption_;
    TFont font_;
    TFont drawFont_;  // the drawing surface's copy of Font
    int drawCount_ = 0;
};

class TVrLabel : public TVrCustomLabel {
public:
    using TVrCustomLabel::TVrCustomLabel;
};

}  // namespace vreko
