#include "controls/popup_text.h"

#include <algorithm>

namespace vreko {

namespace {

// The length of the UTF-8 sequence that starts with lead (of valid text).
std::size_t Utf8Length(unsigned char lead) { return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4; }

void WrapLine(Painter& measure, const FontSpec& font, const std::string& line, int maxWidth,
              std::vector<std::string>& out) {
    if (measure.TextWidth(font, line) <= maxWidth) {
        out.push_back(line);
        return;
    }
    std::string current;
    std::size_t lastSpace = std::string::npos;  // in current
    std::size_t i = 0;
    while (i < line.size()) {
        const std::size_t n = std::min(Utf8Length(static_cast<unsigned char>(line[i])), line.size() - i);
        std::string next = current + line.substr(i, n);
        if (!current.empty() && measure.TextWidth(font, next) > maxWidth) {
            if (line[i] == ' ') {
                i += n;  // the space that breaks the line is not shown
            } else if (lastSpace != std::string::npos) {
                out.push_back(current.substr(0, lastSpace));
                current.erase(0, lastSpace + 1);
                lastSpace = std::string::npos;  // it was the last one in current
                continue;
            }
            out.push_back(current);
            current.clear();
            lastSpace = std::string::npos;
            continue;
        }
        if (line[i] == ' ') lastSpace = current.size();
        current = std::move(next);
        i += n;
    }
    out.push_back(current);
}

}  // namespace

FontSpec DialogFont(int dpi) {
    FontSpec font;
    font.face = "DejaVu Sans";
    font.height = -((9 * (dpi > 0 ? dpi : 96) + 36) / 72);
    return font;
}

std::string ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
        const unsigned char lead = byte(0);
        std::size_t n = 0;
        if (lead < 0x80)
            n = 1;
        else if (lead >= 0xC2 && lead <= 0xDF)
            n = 2;
        else if (lead >= 0xE0 && lead <= 0xEF)
            n = 3;
        else if (lead >= 0xF0 && lead <= 0xF4)
            n = 4;
        bool ok = n > 0 && i + n <= text.size();
        for (std::size_t k = 1; ok && k < n; ++k) ok = (byte(k) & 0xC0) == 0x80;
        // No overlong forms, no surrogates, nothing beyond U+10FFFF.
        if (ok && lead == 0xE0) ok = byte(1) >= 0xA0;
        if (ok && lead == 0xED) ok = byte(1) < 0xA0;
        if (ok && lead == 0xF0) ok = byte(1) >= 0x90;
        if (ok && lead == 0xF4) ok = byte(1) < 0x90;
        if (ok) {
            out.append(text.substr(i, n));
            i += n;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

std::vector<std::string> WrapText(Painter& measure, const FontSpec& font, const std::string& text, int maxWidth) {
    std::vector<std::string> lines(1), out;
    for (char c : text) {
        if (c == '\n')
            lines.emplace_back();
        else if (c != '\r')
            lines.back() += c;
    }
    for (const std::string& line : lines) WrapLine(measure, font, line, maxWidth, out);
    return out;
}

}  // namespace vreko
