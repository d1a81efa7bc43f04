// The drawing surface the windowless controls draw on. Coordinates are relative to the
// current origin; all output is clipped to the current clip rectangle (given in the same
// coordinates as the origin's reference, the window's client area).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace vreko {

struct FontSpec {
    std::string face = "Arial Black";
    int height = -120;  // negative: character height in pixels, internal leading excluded
    bool bold = false;
    bool italic = false;
    friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

struct FontMetrics {
    int ascent = 0;
    int descent = 0;
    int aveCharWidth = 0;
    int Height() const { return ascent + descent; }
};

class Painter {
public:
    virtual ~Painter() = default;

    // Moves the origin to (x, y) of the window's client area.
    virtual void SetOrigin(Point origin) = 0;
    // Restricts output to r, given in client coordinates (intersected with the paint area).
    virtual void SetClip(const Rect& clientRect) = 0;

    virtual void FillRect(const Rect& r, Color c) = 0;
    // Fills the polygon (nonzero winding); with penWidth > 0 also strokes its boundary.
    virtual void Polygon(const std::vector<Point>& pts, Color fill, Color pen, int penWidth) = 0;
    virtual void Polyline(const std::vector<Point>& pts, Color pen, int penWidth) = 0;
    // Fills the ellipse inscribed in box; with penWidth > 0 also strokes it.
    virtual void Ellipse(const Rect& box, Color fill, Color pen, int penWidth) = 0;
    // Arc of the ellipse inscribed in box, counter-clockwise from the ray toward start to the
    // ray toward end.
    virtual void Arc(const Rect& box, Point start, Point end, Color pen, int penWidth) = 0;

    virtual FontMetrics GetFontMetrics(const FontSpec& font) = 0;
    virtual int TextWidth(const FontSpec& font, std::string_view utf8) = 0;
    // Draws the glyphs only (transparent background) with their baseline at y.
    virtual void DrawTextAt(const FontSpec& font, int x, int baselineY, std::string_view utf8, Color c) = 0;
};

}  // namespace vreko
