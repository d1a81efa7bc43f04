#include "controls/popup_menu_view.h"

#include <algorithm>

#include "controls/popup_text.h"

namespace vreko {

namespace {

constexpr Color kMenuFace = Rgb(240, 240, 240);
constexpr Color kMenuBorder = Rgb(151, 151, 151);
constexpr Color kMenuText = colors::kBlack;
constexpr Color kHighlight = Rgb(0, 0, 128);  // navy bar, white text
constexpr Color kHighlightText = colors::kWhite;

}  // namespace

PopupMenuView::PopupMenuView(Painter& measure, int dpi, const std::vector<std::string>& items)
    : font_(DialogFont(dpi)) {
    const DialogScale s(dpi);
    const FontMetrics metrics = measure.GetFontMetrics(font_);
    ascent_ = metrics.ascent;
    lineHeight_ = metrics.Height();
    int textWidth = 0;
    for (const std::string& item : items) {
        items_.push_back(ValidUtf8(item));
        textWidth = std::max(textWidth, measure.TextWidth(font_, items_.back()));
    }
    inset_ = 1 + s(2);  // the frame line, then a small margin
    itemHeight_ = std::max(s(22), lineHeight_ + s(6));
    textLeft_ = s(20);
    width_ = std::max(2 * inset_ + textLeft_ + textWidth + s(24), s(100));
    height_ = 2 * inset_ + int(items_.size()) * itemHeight_;
}

Rect PopupMenuView::ItemRect(int index) const {
    const int top = inset_ + index * itemHeight_;
    return {inset_, top, width_ - inset_, top + itemHeight_};
}

int PopupMenuView::ItemAt(Point at) const {
    for (int i = 0; i < int(items_.size()); ++i)
        if (ItemRect(i).Contains(at)) return i;
    return kNoItem;
}

void PopupMenuView::Select(int index) {
    if (index == selected_) return;
    if (window_) {
        if (selected_ != kNoItem) {
            const Rect old = ItemRect(selected_);
            window_->Invalidate(&old);
        }
        if (index != kNoItem) {
            const Rect now = ItemRect(index);
            window_->Invalidate(&now);
        }
    }
    selected_ = index;
}

void PopupMenuView::Step(int delta) {
    const int n = int(items_.size());
    if (n == 0) return;
    if (selected_ == kNoItem)
        Select(delta > 0 ? 0 : n - 1);
    else
        Select(((selected_ + delta) % n + n) % n);
}

void PopupMenuView::Finish(int choice) {
    if (done_) return;
    choice_ = choice;
    done_ = true;
}

void PopupMenuView::Handle(const Event& e) {
    if (const NeedsPaint* n = e.As<NeedsPaint>()) {
        if (window_)
            if (std::unique_ptr<Painter> p = window_->Draw(n->area)) Paint(*p);
        return;
    }
    if (done_) return;
    if (const PointerMoved* m = e.As<PointerMoved>()) {
        // The highlight follows the pointer over the items and goes when it leaves them.
        Select(ItemAt(m->at));
    } else if (const ButtonChanged* b = e.As<ButtonChanged>()) {
        if (b->down) {
            // A press elsewhere dismisses the menu and goes no further.
            if (!Rect{0, 0, width_, height_}.Contains(b->at))
                Finish(kNoItem);
            else
                Select(ItemAt(b->at));
        } else if (const int item = ItemAt(b->at); item != kNoItem) {
            Finish(item);
        }
    } else if (const KeyPressed* k = e.As<KeyPressed>()) {
        if (k->key == Key::Up) Step(-1);
        if (k->key == Key::Down) Step(1);
        if ((k->key == Key::Return || k->key == Key::Space) && selected_ != kNoItem) Finish(selected_);
        if (k->key == Key::Escape) Finish(kNoItem);
    } else if (e.As<GrabLost>() || e.As<CloseAsked>()) {
        Finish(kNoItem);  // taken away under the menu
    }
}

void PopupMenuView::Paint(Painter& p) const {
    p.FillRect({0, 0, width_, height_}, kMenuFace);
    p.FillRect({0, 0, width_, 1}, kMenuBorder);
    p.FillRect({0, height_ - 1, width_, height_}, kMenuBorder);
    p.FillRect({0, 0, 1, height_}, kMenuBorder);
    p.FillRect({width_ - 1, 0, width_, height_}, kMenuBorder);
    for (int i = 0; i < int(items_.size()); ++i) {
        const Rect r = ItemRect(i);
        const bool selected = i == selected_;
        if (selected) p.FillRect(r, kHighlight);
        const int baseline = r.top + (r.Height() - lineHeight_) / 2 + ascent_;
        p.DrawTextAt(font_, r.left + textLeft_, baseline, items_[std::size_t(i)],
                     selected ? kHighlightText : kMenuText);
    }
}

}  // namespace vreko
