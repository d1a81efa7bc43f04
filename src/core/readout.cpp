#include "core/readout.h"

namespace vreko {

ReadoutLook FormatReadout(std::int32_t n, bool isHidden, bool isWarning) {
    // C++ division truncates toward zero and the remainder takes the dividend's sign,
    // which is the rule the readout is defined by.
    if (!isHidden && !isWarning) {
        ReadoutLook look{n == 0 ? "OFF" : std::to_string(n / 60), std::nullopt};
        if (n == 0) look.color = colors::kYellow;
        else if (n > 0) look.color = colors::kLime;
        return look;
    }
    if (n > 60) return {std::to_string(n / 60 + 1), colors::kLime};
    return {n == 0 ? "OFF" : std::to_string(n), colors::kRed};
}

void ShowTime(std::int32_t n, bool isHidden, bool isWarning, ReadoutView& readout) {
    ReadoutLook look = FormatReadout(n, isHidden, isWarning);
    readout.SetCaption(look.caption);
    if (look.color) readout.SetFontColor(*look.color);
}

std::string MinutesSecondsText(std::int32_t n) {
    std::int32_t s = n % 60;
    std::string text = std::to_string(n / 60) + ":";
    if (s < 10) text += '0';
    text += std::to_string(s);
    return text;
}

}  // namespace vreko
