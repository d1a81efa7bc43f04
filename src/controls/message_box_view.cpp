#include "controls/message_box_view.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "controls/popup_text.h"

namespace vreko {

namespace {

constexpr Color kFace = Rgb(240, 240, 240);
constexpr Color kText = colors::kBlack;
constexpr Color kButtonFace = Rgb(225, 225, 225);
constexpr Color kButtonHot = Rgb(229, 241, 251);
constexpr Color kButtonPressed = Rgb(204, 228, 247);
constexpr Color kButtonBorder = Rgb(0, 120, 215);  // the default button's frame
constexpr Color kButtonPressedBorder = Rgb(0, 84, 153);
constexpr Color kErrorRed = Rgb(225, 37, 37);
constexpr Color kWarningYellow = Rgb(255, 204, 0);
constexpr Color kWarningOutline = Rgb(191, 140, 0);

constexpr int kMaxTextWidth96 = 720;  // a longer line wraps

// The icons, drawn on a square of 32 units: the colour at a point of it.
Color IconColorAt(MessageBoxIcon icon, double u, double v) {
    const double dx = u - 16.0, dy = v - 16.0;
    if (icon == MessageBoxIcon::Error) {
        // A red disc with a white cross of two square-ended bars.
        if (dx * dx + dy * dy > 15.5 * 15.5) return kFace;
        const double across = std::abs(dx - dy) / std::numbers::sqrt2, along = std::abs(dx + dy) / std::numbers::sqrt2;
        constexpr double kHalfWidth = 2.1, kHalfLength = 8.0;
        if ((across <= kHalfWidth && along <= kHalfLength) || (along <= kHalfWidth && across <= kHalfLength))
            return colors::kWhite;
        return kErrorRed;
    }
    // A yellow triangle with a darker rim and a black exclamation mark.
    struct Edge {
        double ax, ay, bx, by;
    };
    constexpr Edge edges[3] = {{16.0, 2.0, 31.0, 29.0}, {31.0, 29.0, 1.0, 29.0}, {1.0, 29.0, 16.0, 2.0}};
    double inside = 1e9;  // the distance to the nearest edge, negative outside
    for (const Edge& e : edges) {
        const double ex = e.bx - e.ax, ey = e.by - e.ay;
        inside = std::min(inside, (ex * (v - e.ay) - ey * (u - e.ax)) / std::hypot(ex, ey));
    }
    if (inside < 0) return kFace;
    if (std::abs(dx) <= 1.7 && v >= 10.5 && v <= 21.0) return colors::kBlack;
    if (dx * dx + (v - 24.6) * (v - 24.6) <= 1.9 * 1.9) return colors::kBlack;
    return inside < 1.2 ? kWarningOutline : kWarningYellow;
}

// The icon at size by size pixels, smoothed: each pixel the mean of 4 by 4 samples.
std::vector<Color> IconPixels(MessageBoxIcon icon, int size) {
    constexpr int kSamples = 4, n = kSamples * kSamples;
    std::vector<Color> pixels;
    pixels.reserve(std::size_t(size) * std::size_t(size));
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int r = 0, g = 0, b = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double u = (x + (sx + 0.5) / kSamples) * 32.0 / size;
                    const double v = (y + (sy + 0.5) / kSamples) * 32.0 / size;
                    const Color c = IconColorAt(icon, u, v);
                    r += RedOf(c), g += GreenOf(c), b += BlueOf(c);
                }
            }
            pixels.push_back(Rgb((r + n / 2) / n, (g + n / 2) / n, (b + n / 2) / n));
        }
    }
    return pixels;
}

}  // namespace

MessageBoxView::MessageBoxView(Painter& measure, int dpi, const std::string& text, MessageBoxIcon icon)
    : icon_(icon), font_(DialogFont(dpi)), scale96_(dpi) {
    const DialogScale s(dpi);
    const FontMetrics metrics = measure.GetFontMetrics(font_);
    ascent_ = metrics.ascent;
    lineHeight_ = metrics.Height();
    okWidth_ = measure.TextWidth(font_, "OK");
    const int margin = s(16);
    const int iconSize = HasIcon() ? s(32) : 0;

    text_.x = iconSize ? margin + iconSize + s(12) : margin;
    lines_ = WrapText(measure, font_, ValidUtf8(text), s(kMaxTextWidth96) - text_.x - margin);
    int textWidth = 0;
    for (const std::string& line : lines_) textWidth = std::max(textWidth, measure.TextWidth(font_, line));
    const int textHeight = int(lines_.size()) * lineHeight_;

    // A short text stands level with the middle of the icon.
    iconBox_ = {margin, margin, margin + iconSize, margin + iconSize};
    text_.y = margin + (textHeight < iconSize ? (iconSize - textHeight) / 2 : 0);
    const int contentBottom = std::max(text_.y + textHeight, iconBox_.bottom);

    const int buttonWidth = std::max(s(75), okWidth_ + s(16));
    const int buttonHeight = std::max(s(23), lineHeight_ + s(8));
    width_ = std::max({text_.x + textWidth + s(24), buttonWidth + 2 * margin, s(160)});
    const int buttonTop = contentBottom + s(18);
    height_ = buttonTop + buttonHeight + s(12);
    const int buttonLeft = (width_ - buttonWidth) / 2;
    button_ = {buttonLeft, buttonTop, buttonLeft + buttonWidth, buttonTop + buttonHeight};
    if (HasIcon()) iconPixels_ = IconPixels(icon_, iconSize);
}

void MessageBoxView::Handle(const Event& e) {
    if (const KeyPressed* k = e.As<KeyPressed>()) {
        // The one button is the default and has the focus: Tab keeps it there.
        if (k->key == Key::Return || k->key == Key::Space || k->key == Key::Escape) closed_ = true;
    } else if (const ButtonChanged* b = e.As<ButtonChanged>()) {
        if (b->button != PointerButton::Left) return;
        if (b->down && button_.Contains(b->at)) {
            tracking_ = true;
            SetHot(true);
            RedrawButton();
        } else if (!b->down && tracking_) {
            tracking_ = false;
            if (button_.Contains(b->at)) closed_ = true;
            RedrawButton();
        }
    } else if (const PointerMoved* m = e.As<PointerMoved>()) {
        SetHot(button_.Contains(m->at));
    } else if (e.As<PointerLeft>()) {
        SetHot(false);
    } else if (e.As<CloseAsked>()) {
        closed_ = true;
    } else if (const NeedsPaint* n = e.As<NeedsPaint>()) {
        if (!window_) return;
        if (std::unique_ptr<Painter> p = window_->Draw(n->area)) Paint(*p);
    }
}

void MessageBoxView::SetHot(bool hot) {
    if (hot == hot_) return;
    hot_ = hot;
    RedrawButton();
}

void MessageBoxView::RedrawButton() {
    if (window_) window_->Invalidate(&button_);
}

void MessageBoxView::Paint(Painter& p) const {
    p.FillRect({0, 0, width_, height_}, kFace);
    PaintIcon(p);
    for (std::size_t i = 0; i < lines_.size(); ++i)
        p.DrawTextAt(font_, text_.x, text_.y + int(i) * lineHeight_ + ascent_, lines_[i], kText);
    PaintButton(p);
}

void MessageBoxView::PaintIcon(Painter& p) const {
    // Each row in runs of one colour.
    const int size = iconBox_.Width();
    for (int y = 0; y < size && !iconPixels_.empty(); ++y) {
        int x = 0;
        while (x < size) {
            const Color c = iconPixels_[std::size_t(y * size + x)];
            int end = x + 1;
            while (end < size && iconPixels_[std::size_t(y * size + end)] == c) ++end;
            if (c != kFace)
                p.FillRect({iconBox_.left + x, iconBox_.top + y, iconBox_.left + end, iconBox_.top + y + 1}, c);
            x = end;
        }
    }
}

void MessageBoxView::PaintButton(Painter& p) const {
    const bool pressed = tracking_ && hot_;
    const Color border = pressed ? kButtonPressedBorder : kButtonBorder;
    const Rect& b = button_;
    p.FillRect(b, pressed ? kButtonPressed : hot_ ? kButtonHot : kButtonFace);
    // The default button's frame of two lines.
    for (int inset = 0; inset < 2; ++inset) {
        const Rect r{b.left + inset, b.top + inset, b.right - inset, b.bottom - inset};
        p.FillRect({r.left, r.top, r.right, r.top + 1}, border);
        p.FillRect({r.left, r.bottom - 1, r.right, r.bottom}, border);
        p.FillRect({r.left, r.top, r.left + 1, r.bottom}, border);
        p.FillRect({r.right - 1, r.top, r.right, r.bottom}, border);
    }
    // The dotted focus rectangle inside, every other pixel.
    const int inset = DialogScale(scale96_)(3);
    const Rect f{b.left + inset, b.top + inset, b.right - inset, b.bottom - inset};
    for (int x = f.left; x < f.right; x += 2) {
        p.FillRect({x, f.top, x + 1, f.top + 1}, colors::kBlack);
        p.FillRect({x, f.bottom - 1, x + 1, f.bottom}, colors::kBlack);
    }
    for (int y = f.top + 2; y < f.bottom - 1; y += 2) {
        p.FillRect({f.left, y, f.left + 1, y + 1}, colors::kBlack);
        p.FillRect({f.right - 1, y, f.right, y + 1}, colors::kBlack);
    }
    const int x = b.left + (b.Width() - okWidth_) / 2;
    const int baseline = b.top + (b.Height() - lineHeight_) / 2 + ascent_;
    p.DrawTextAt(font_, x, baseline, "OK", kText);
}

}  // namespace vreko
