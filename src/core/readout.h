// Turns the controller's numbers into what the window shows: the readout's caption and
// colour, and the texts of the two small labels below the visible area (countdown.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/types.h"

namespace vreko {

// The big readout as the controller sees it: a caption and a font colour.
class ReadoutView {
public:
    virtual ~ReadoutView() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetFontColor(Color color) = 0;
};

// A plain text label (the idle count and the remaining time).
class TextView {
public:
    virtual ~TextView() = default;
    virtual void SetText(const std::string& text) = 0;
};

struct ReadoutLook {
    std::string caption;
    std::optional<Color> color;  // empty: the colour stays as it is
};

// The readout for n seconds: the dialling form when neither flag is set, else the
// countdown form.
ReadoutLook FormatReadout(std::int32_t n, bool isHidden, bool isWarning);

// Sets the readout's caption, then (in most cases) its colour.
void ShowTime(std::int32_t n, bool isHidden, bool isWarning, ReadoutView& readout);

// "m:ss" with unpadded minutes: 1199 gives "19:59", 9 gives "0:09".
std::string MinutesSecondsText(std::int32_t n);

}  // namespace vreko
