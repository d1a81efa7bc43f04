// The program's own message box, for window systems without one: a small fixed-size dialog in
// the look of a plain system message box (grey face, black text, an optional icon, one "OK"
// button). It lays itself out for its text, draws itself over Painter and closes on the
// button, Return, Space, Escape or the window manager's close.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace vreko {

class MessageBoxView : public WindowHandler {
public:
    // measure: any painter, for the widths of the text at the screen's dpi.
    MessageBoxView(Painter& measure, int dpi, const std::string& text, MessageBoxIcon icon);

    int Width() const { return width_; }
    int Height() const { return height_; }
    const std::vector<std::string>& Lines() const { return lines_; }
    Rect IconBox() const { return iconBox_; }
    Rect Button() const { return button_; }
    bool Closed() const { return closed_; }

    // The window the box shows in (null: none yet, or no longer).
    void Attach(Window* window) { window_ = window; }
    void Handle(const Event& e) override;
    void Paint(Painter& p) const;

private:
    bool HasIcon() const { return icon_ != MessageBoxIcon::Plain; }
    void SetHot(bool hot);
    void RedrawButton();
    void PaintIcon(Painter& p) const;
    void PaintButton(Painter& p) const;

    MessageBoxIcon icon_;
    FontSpec font_;
    int scale96_;  // the dpi
    int ascent_ = 0;
    int lineHeight_ = 0;
    int okWidth_ = 0;
    std::vector<std::string> lines_;
    int width_ = 0;
    int height_ = 0;
    Rect iconBox_;
    Point text_;
    Rect button_;
    std::vector<Color> iconPixels_;  // the icon, row by row, drawn once

    Window* window_ = nullptr;
    bool closed_ = false;
    bool hot_ = false;       // the pointer is over the button
    bool tracking_ = false;  // a left press on the button is held
};

}  // namespace vreko
