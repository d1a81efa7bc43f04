#include "controls/vr_label.h"

#include <algorithm>

namespace vreko {

void TVrBevel::Recompute() {
    using S = TVrBevelStyle;
    if (styleInner_ == S::bvShadow) {
        extent_ = widthInner_ + borderInnerWidth_;
        return;
    }
    int e = borderWidth_ + borderInnerWidth_;
    if (styleOuter_ != S::bvNone) e += widthOuter_;
    if (styleOuter_ == S::bvFrameLowered || styleOuter_ == S::bvFrameRaised) e += 1;
    if (styleInner_ != S::bvNone) e += widthInner_;
    if (styleInner_ == S::bvFrameLowered || styleInner_ == S::bvFrameRaised) e += 1;
    extent_ = e;
}

void TVrBaseLabel::SetAlignment(TVrAlignment a) {
    if (a == alignment_) return;
    alignment_ = a;
    ContentChanged();
}

void TVrBaseLabel::SetMultiLine(bool on) {
    if (on == multiLine_) return;
    multiLine_ = on;
    ContentChanged();
}

void TVrBaseLabel::SetShowAccelChar(bool on) {
    if (on == showAccelChar_) return;
    showAccelChar_ = on;
    RepaintRule();
}

void TVrBaseLabel::SetOptions(unsigned o) {
    if (o == options_) return;
    options_ = o;
    ContentChanged();
}

CaptionLine StripAccelerators(const std::string& caption, bool showAccelChar) {
    CaptionLine line;
    if (!showAccelChar) {
        line.text = caption;
        return line;
    }
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] != '&') {
            line.text += caption[i];
            continue;
        }
        if (i + 1 >= caption.size()) break;  // a lone trailing "&" draws nothing
        ++i;
        if (caption[i] == '&') {
            line.text += '&';
            continue;
        }
        // The character after "&" is underlined; it may take several bytes in UTF-8.
        std::size_t len = 1;
        while (i + len < caption.size() && (static_cast<unsigned char>(caption[i + len]) & 0xC0) == 0x80) ++len;
        line.underline = int(line.text.size());
        line.underlineLength = int(len);
        line.text += caption.substr(i, len);
        i += len - 1;
    }
    return line;
}

TVrCustomLabel::TVrCustomLabel(ControlParent* parent)
    : TVrBaseLabel(parent), Bevel([this] { ContentChanged(); }), FontFX([this] { FontChanged(); }) {
    SetBounds(0, 0, 30, 30);
    font_.desc = FontSpec{"MS Sans Serif", -11, false, false};
    drawFont_ = font_;
}

void TVrCustomLabel::SetCaption(const std::string& text) {
    if (text == caption_) return;
    caption_ = text;
    ContentChanged();
}

void TVrCustomLabel::SetFont(const TFont& font) {
    if (font == font_) return;
    font_ = font;
    ParentFont = false;
    if (Parent() && !Parent()->DesignLoading()) Parent()->InvalidateControlRect(BoundsRect(), false);
    FontChanged();
}

void TVrCustomLabel::SetFontName(const std::string& face) {
    TFont f = font_;
    f.desc.face = face;
    SetFont(f);
}

void TVrCustomLabel::SetFontHeight(int height) {
    TFont f = font_;
    f.desc.height = height;
    SetFont(f);
}

void TVrCustomLabel::SetFontColor(Color color) {
    TFont f = font_;
    f.color = color;
    SetFont(f);
}

void TVrCustomLabel::SetFontCharset(int charset) {
    TFont f = font_;
    f.charset = charset;
    SetFont(f);
}

void TVrCustomLabel::Loaded() { drawFont_ = font_; }

void TVrCustomLabel::FontChanged() {
    drawFont_ = font_;
    ContentChanged();
}

void TVrCustomLabel::ContentChanged() {
    // Fitting the size to the text is off on this label, so only the repaint rule runs.
    if (Parent() && Parent()->DesignLoading()) return;
    RepaintRule();
}

void TVrCustomLabel::Draw(Painter& surface) {
    if (painting_ || (Parent() && Parent()->DesignLoading())) return;
    if (NothingToDraw()) return;
    const std::string caption = caption_;
    painting_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{painting_};
    ++drawCount_;
    if (!Transparent()) FillBackground(surface);
    Rect textRect = ClientRect();
    const int extent = Bevel.Extent();
    if (extent > 0) {
        // A frame of this width is left free; its rings are not drawn by this readout.
        textRect = {extent, extent, Width() - extent, Height() - extent};
        surface.SetClip(textRect.Offset(Left, Top));
    }
    DrawTextWithEffect(surface, caption, textRect);
}

void TVrCustomLabel::DrawTextWithEffect(Painter& surface, const std::string& caption, Rect r) {
    if (caption.empty() || r.Empty()) return;
    const Color color = ResolveColor(Enabled ? drawFont_.color : Color(0xFF000011));
    r.left += FontFX.PosX();
    r.top += FontFX.PosY();
    const FontSpec& font = drawFont_.desc;
    const FontMetrics fm = surface.GetFontMetrics(font);
    CaptionLine line = StripAccelerators(caption, showAccelChar_);

    // Split at tabs: each piece starts at the next tab stop (every eight average characters).
    std::vector<std::pair<int, std::string>> pieces;  // x offset from the line start, text
    const int tabWidth = std::max(1, 8 * std::max(1, fm.aveCharWidth));
    int x = 0;
    std::size_t start = 0;
    int underlineX = -1, underlineW = 0;
    for (;;) {
        std::size_t tab = line.text.find('\t', start);
        std::string piece = line.text.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
        if (line.underline >= int(start) && (tab == std::string::npos || line.underline < int(tab))) {
            const std::size_t at = std::size_t(line.underline) - start;
            underlineX = x + surface.TextWidth(font, piece.substr(0, at));
            underlineW = surface.TextWidth(font, piece.substr(at, std::size_t(line.underlineLength)));
        }
        const int w = surface.TextWidth(font, piece) + FontFX.Tracing() * int(piece.size());
        pieces.emplace_back(x, std::move(piece));
        x += w;
        if (tab == std::string::npos) break;
        x = (x / tabWidth + 1) * tabWidth;
        start = tab + 1;
    }
    const int lineWidth = x;
    const int lineHeight = fm.Height();

    int left = r.left;
    switch (alignment_) {
        case TVrAlignment::agTopCenter:
        case TVrAlignment::agCenter:
        case TVrAlignment::agBottomCenter: left = r.left + (r.Width() - lineWidth) / 2; break;
        case TVrAlignment::agTopRight:
        case TVrAlignment::agCenterRight:
        case TVrAlignment::agBottomRight: left = r.right - lineWidth; break;
        default: break;
    }
    int top = r.top;
    switch (alignment_) {
        case TVrAlignment::agCenterLeft:
        case TVrAlignment::agCenter:
        case TVrAlignment::agCenterRight: top = r.top + (r.Height() - lineHeight) / 2; break;
        case TVrAlignment::agBottomLeft:
        case TVrAlignment::agBottomCenter:
        case TVrAlignment::agBottomRight: top = r.bottom - lineHeight; break;
        default: break;
    }
    const int baseline = top + fm.ascent;
    for (const auto& [offset, piece] : pieces)
        if (!piece.empty()) surface.DrawTextAt(font, left + offset, baseline, piece, color);
    if (underlineX >= 0 && underlineW > 0) {
        const int thickness = std::max(1, lineHeight / 24);
        const int y = baseline + std::max(1, fm.descent / 3);
        surface.FillRect({left + underlineX, y, left + underlineX + underlineW, y + thickness}, color);
    }
}

}  // namespace vreko
