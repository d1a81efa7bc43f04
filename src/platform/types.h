// Small value types shared by the program and every window-system backend.
#pragma once

#include <cstdint>

namespace vreko {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// Rectangle with exclusive right and bottom edges, as the window system uses.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
    bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    bool Intersects(const Rect& o) const {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
    Rect Offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Colours are 0x00BBGGRR. A value whose high byte is 0xFF names a system colour by the
// index in its low byte; it is resolved with ResolveColor at each drawing.
using Color = std::uint32_t;

namespace colors {
constexpr Color kBlack = 0x000000;
constexpr Color kLime = 0x00FF00;
constexpr Color kYellow = 0x00FFFF;
constexpr Color kRed = 0x0000FF;
constexpr Color kGreen = 0x008000;
constexpr Color kSilver = 0xC0C0C0;
constexpr Color kGray = 0x808080;
constexpr Color kWhite = 0xFFFFFF;
constexpr Color kBtnFace = 0xFF00000F;
constexpr Color kBtnShadow = 0xFF000010;
constexpr Color kBtnHighlight = 0xFF000014;
}  // namespace colors

constexpr std::uint8_t RedOf(Color c) { return c & 0xFF; }
constexpr std::uint8_t GreenOf(Color c) { return (c >> 8) & 0xFF; }
constexpr std::uint8_t BlueOf(Color c) { return (c >> 16) & 0xFF; }
constexpr Color Rgb(int r, int g, int b) { return Color(r & 0xFF) | (Color(g & 0xFF) << 8) | (Color(b & 0xFF) << 16); }

// System colours take the usual Windows defaults on window systems that have none.
constexpr Color ResolveColor(Color c) {
    if ((c & 0xFF000000) != 0xFF000000) return c & 0x00FFFFFF;
    switch (c & 0xFF) {
        case 0x0F: return Rgb(240, 240, 240);  // button face
        case 0x10: return Rgb(160, 160, 160);  // button shadow
        case 0x14:                             // button highlight
        case 0x05: return Rgb(255, 255, 255);  // window background
        case 0x08: return Rgb(0, 0, 0);        // window text
        case 0x11: return Rgb(109, 109, 109);  // grey text
        default: return 0;
    }
}

}  // namespace vreko
