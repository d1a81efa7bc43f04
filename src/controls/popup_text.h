// What the program's own message box and popup menu share: the dialog font and lengths at the
// screen's resolution, and text made safe to draw and wrapped to a width.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/painter.h"

namespace vreko {

// The desktop's dialog text: DejaVu Sans, 9 pt at the screen's resolution.
FontSpec DialogFont(int dpi);

// Lengths of a design made for 96 pixels per inch, in screen pixels.
class DialogScale {
public:
    explicit DialogScale(int dpi) : dpi_(dpi > 0 ? dpi : 96) {}
    int operator()(int px96) const { return (px96 * dpi_ + 48) / 96; }

private:
    int dpi_;
};

// The text with every byte that starts no valid UTF-8 sequence replaced by U+FFFD, so that
// all of it can be drawn.
std::string ValidUtf8(std::string_view text);

// The lines of text (split at line feeds, carriage returns dropped), each broken at its spaces
// where it is wider than maxWidth, and a word wider than that between its characters.
std::vector<std::string> WrapText(Painter& measure, const FontSpec& font, const std::string& text, int maxWidth);

}  // namespace vreko
