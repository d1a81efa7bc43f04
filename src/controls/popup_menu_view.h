// The program's own popup menu, for window systems without one: one line per item in a thin
// frame. The highlight follows the pointer or Up and Down; a click on an item, or Return or
// Space on the highlighted one, chooses it; a press outside, Escape, or losing the pointer
// closes the menu with no choice.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace vreko {

class PopupMenuView : public WindowHandler {
public:
    static constexpr int kNoItem = -1;

    // measure: any painter, for the widths of the items at the screen's dpi.
    PopupMenuView(Painter& measure, int dpi, const std::vector<std::string>& items);

    int Width() const { return width_; }
    int Height() const { return height_; }
    Rect ItemRect(int index) const;
    int Selected() const { return selected_; }
    bool Done() const { return done_; }
    int Choice() const { return choice_; }

    void Attach(Window* window) { window_ = window; }
    void Handle(const Event& e) override;
    void Paint(Painter& p) const;

private:
    int ItemAt(Point at) const;
    void Select(int index);
    void Step(int delta);
    void Finish(int choice);

    FontSpec font_;
    int ascent_ = 0;
    int lineHeight_ = 0;
    std::vector<std::string> items_;
    int width_ = 0;
    int height_ = 0;
    int itemHeight_ = 0;
    int inset_ = 0;  // from the window's edge to the item bars
    int textLeft_ = 0;

    Window* window_ = nullptr;
    int selected_ = kNoItem;
    int choice_ = kNoItem;
    bool done_ = false;
};

}  // namespace vreko
