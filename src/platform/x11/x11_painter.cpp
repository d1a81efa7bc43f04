// Drawing on X11 windows: the core protocol for fills, polygons, ellipses and arcs (aliased, as
// GDI draws them) and Xft for antialiased text, with fonts found through fontconfig.

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "platform/x11/x11_platform.h"

namespace vreko::x11 {

// ---- fonts --------------------------------------------------------------------------------

namespace {

bool FamilyIs(FcPattern* font, const std::string& face) {
    FcChar8* family = nullptr;
    for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &family) == FcResultMatch; ++i)
        if (strcasecmp(reinterpret_cast<const char*>(family), face.c_str()) == 0) return true;
    return false;
}

// Fontconfig lists the sans-serif faces first when asked for "sans-serif"; the list turns to
// other kinds at the first monospaced or serif face.
bool EndsSansFaces(FcPattern* font) {
    int spacing = FC_PROPORTIONAL;
    if (FcPatternGetInteger(font, FC_SPACING, 0, &spacing) == FcResultMatch && spacing != FC_PROPORTIONAL) return true;
    FcChar8* family = nullptr;
    if (FcPatternGetString(font, FC_FAMILY, 0, &family) != FcResultMatch) return false;
    const std::string name = reinterpret_cast<const char*>(family);
    return name.find("Serif") != std::string::npos && name.find("Sans") == std::string::npos;
}

// The boldest upright (or italic) sans-serif face installed, so that a readout whose face is
// missing still shows heavy digits: Lato Black, say, or else DejaVu Sans Bold.
XftFont* OpenHeaviestSans(Display* dpy, int screen, double pixelSize, bool italic) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_BLACK);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, pixelSize);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    XftDefaultSubstitute(dpy, screen, pattern);

    XftFont* font = nullptr;
    FcResult result = FcResultNoMatch;
    if (FcFontSet* set = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result)) {
        FcPattern* best = nullptr;
        int bestWeight = -1;
        for (int i = 0; i < set->nfont; ++i) {
            FcPattern* candidate = set->fonts[i];
            if (EndsSansFaces(candidate)) break;
            int slant = FC_SLANT_ROMAN, weight = FC_WEIGHT_REGULAR;
            FcPatternGetInteger(candidate, FC_SLANT, 0, &slant);
            FcPatternGetInteger(candidate, FC_WEIGHT, 0, &weight);
            if ((slant != FC_SLANT_ROMAN) != italic) continue;
            if (weight > bestWeight) {
                best = candidate;
                bestWeight = weight;
            }
        }
        if (best) {
            FcPattern* prepared = FcFontRenderPrepare(nullptr, pattern, best);
            if (prepared && !(font = XftFontOpenPattern(dpy, prepared))) FcPatternDestroy(prepared);
        }
        FcFontSetDestroy(set);
    }
    FcPatternDestroy(pattern);
    if (!font)
        font = XftFontOpen(dpy, screen, FC_FAMILY, FcTypeString, "sans-serif", FC_WEIGHT, FcTypeInteger, FC_WEIGHT_BOLD,
                           FC_PIXEL_SIZE, FcTypeDouble, pixelSize, nullptr);
    return font;
}

// The face asked for at the given em size (Xft's pixel size), or the heaviest sans face when
// that face is not installed.
XftFont* OpenFace(Display* dpy, int screen, const FontSpec& request, double pixelSize) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(request.face.c_str()));
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, pixelSize);
    if (request.bold) FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_BOLD);
    if (request.italic) FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ITALIC);
    FcResult result = FcResultNoMatch;
    FcPattern* match = XftFontMatch(dpy, screen, pattern, &result);
    FcPatternDestroy(pattern);
    if (match && FamilyIs(match, request.face)) {
        if (XftFont* font = XftFontOpenPattern(dpy, match)) return font;  // the font owns the pattern now
    }
    if (match) FcPatternDestroy(match);
    return OpenHeaviestSans(dpy, screen, pixelSize, request.italic);
}

}  // namespace

XftFont* X11Platform::Font(const FontSpec& request) {
    const auto key = std::make_tuple(request.face, request.height, request.bold, request.italic);
    if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;

    // A negative height is the character height, which is the em size that Xft calls the
    // pixel size. A positive height is the whole cell (ascent plus descent, internal leading
    // included): the em size is scaled down to fit. 0 is the desktop's usual text size.
    constexpr int kDefaultHeight = 13;
    const int height = request.height == 0 ? -kDefaultHeight : request.height;
    XftFont* font = OpenFace(dpy_, screen_, request, std::abs(height));
    if (font && height > 0) {
        const int cell = font->ascent + font->descent;
        if (cell > 0 && cell != height) {
            if (XftFont* scaled = OpenFace(dpy_, screen_, request, double(height) * height / cell)) {
                XftFontClose(dpy_, font);
                font = scaled;
            }
        }
    }
    fonts_[key] = font;
    return font;
}

// ---- painter ------------------------------------------------------------------------------

namespace {

Rect Intersect(const Rect& a, const Rect& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

short Coord(int v) { return short(std::clamp(v, -32768, 32767)); }
unsigned short Extent(int v) { return static_cast<unsigned short>(std::clamp(v, 0, 65535)); }

constexpr int kFullCircle = 360 * 64;  // X arc angles are in 64ths of a degree

}  // namespace

X11Painter::X11Painter(X11Platform& platform, Drawable target, Rect area, const PixelFormat& format,
                       std::vector<Rect> outline)
    : platform_(platform),
      dpy_(platform.display()),
      target_(target),
      format_(format),
      outline_(std::move(outline)),
      area_(area),
      clip_(area) {
    XGCValues values{};
    values.graphics_exposures = False;
    values.fill_rule = WindingRule;
    gc_ = XCreateGC(dpy_, target_, GCGraphicsExposures | GCFillRule, &values);
    draw_ = XftDrawCreate(dpy_, target_, format_.visual, format_.colormap);
    ApplyClip();
}

X11Painter::~X11Painter() {
    if (draw_) XftDrawDestroy(draw_);
    XFreeGC(dpy_, gc_);
}

void X11Painter::SetClip(const Rect& clientRect) {
    clip_ = Intersect(clientRect, area_);
    ApplyClip();
}

void X11Painter::ApplyClip() {
    // The clip rectangle, within the outline when there is one (an empty rectangle: nothing is drawn).
    std::vector<XRectangle> rects;
    auto add = [&rects](const Rect& r) {
        if (!r.Empty()) rects.push_back({Coord(r.left), Coord(r.top), Extent(r.Width()), Extent(r.Height())});
    };
    if (outline_.empty()) add(clip_);
    for (const Rect& row : outline_) add(Intersect(clip_, row));
    if (rects.empty()) rects.push_back({0, 0, 0, 0});
    XSetClipRectangles(dpy_, gc_, 0, 0, rects.data(), int(rects.size()), Unsorted);
    if (draw_) XftDrawSetClipRectangles(draw_, 0, 0, rects.data(), int(rects.size()));
}

std::vector<XPoint> X11Painter::ToX(const std::vector<Point>& pts) const {
    std::vector<XPoint> out;
    out.reserve(pts.size() + 1);
    for (Point p : pts) out.push_back({Coord(p.x + origin_.x), Coord(p.y + origin_.y)});
    return out;
}

void X11Painter::UsePen(Color c, int width) {
    XSetForeground(dpy_, gc_, platform_.Pixel(c, format_));
    // A one-pixel pen draws like GDI's cosmetic pen, without the last point of a line; wider
    // pens are GDI's geometric pens, whose solid lines have round ends and round joins.
    if (width <= 1)
        XSetLineAttributes(dpy_, gc_, 0, LineSolid, CapNotLast, JoinMiter);
    else
        XSetLineAttributes(dpy_, gc_, unsigned(width), LineSolid, CapRound, JoinRound);
}

void X11Painter::FillRect(const Rect& r, Color c) {
    const Rect d = r.Offset(origin_.x, origin_.y);
    if (d.Empty() || clip_.Empty()) return;
    XSetForeground(dpy_, gc_, platform_.Pixel(c, format_));
    XFillRectangle(dpy_, target_, gc_, Coord(d.left), Coord(d.top), Extent(d.Width()), Extent(d.Height()));
}

void X11Painter::Polygon(const std::vector<Point>& pts, Color fill, Color pen, int penWidth) {
    if (pts.size() < 2 || clip_.Empty()) return;
    std::vector<XPoint> xp = ToX(pts);
    XSetForeground(dpy_, gc_, platform_.Pixel(fill, format_));
    XFillPolygon(dpy_, target_, gc_, xp.data(), int(xp.size()), Complex, CoordModeOrigin);
    if (penWidth <= 0) return;
    UsePen(pen, penWidth);
    xp.push_back(xp.front());  // the outline is closed
    XDrawLines(dpy_, target_, gc_, xp.data(), int(xp.size()), CoordModeOrigin);
}

void X11Painter::Polyline(const std::vector<Point>& pts, Color pen, int penWidth) {
    if (pts.size() < 2 || clip_.Empty()) return;
    std::vector<XPoint> xp = ToX(pts);
    UsePen(pen, penWidth);
    XDrawLines(dpy_, target_, gc_, xp.data(), int(xp.size()), CoordModeOrigin);
}

// GDI's ellipse in the box (l, t, r, b) covers the pixels l..r-1 and t..b-1: X fills the same
// pixels with the box's own size, and its outline path runs through the outermost of them.
void X11Painter::Ellipse(const Rect& box, Color fill, Color pen, int penWidth) {
    const Rect b = box.Offset(origin_.x, origin_.y);
    if (b.Empty() || clip_.Empty()) return;
    XSetForeground(dpy_, gc_, platform_.Pixel(fill, format_));
    XFillArc(dpy_, target_, gc_, Coord(b.left), Coord(b.top), Extent(b.Width()), Extent(b.Height()), 0, kFullCircle);
    if (penWidth <= 0) return;
    UsePen(pen, penWidth);
    XDrawArc(dpy_, target_, gc_, Coord(b.left), Coord(b.top), Extent(b.Width() - 1), Extent(b.Height() - 1), 0,
             kFullCircle);
}

void X11Painter::Arc(const Rect& box, Point start, Point end, Color pen, int penWidth) {
    const Rect b = box.Offset(origin_.x, origin_.y);
    if (b.Empty() || clip_.Empty()) return;
    // The ends are where the rays from the box's centre toward start and end cross the
    // ellipse. X measures arc angles on the ellipse stretched to a circle, counter-clockwise
    // from three o'clock with y up, so each ray's direction is scaled by the half axes.
    const double cx = (b.left + b.right) / 2.0, cy = (b.top + b.bottom) / 2.0;
    const double ax = b.Width() / 2.0, ay = b.Height() / 2.0;
    auto angle = [&](Point p) {
        const double dx = p.x + origin_.x - cx, dy = cy - (p.y + origin_.y);
        if (dx == 0 && dy == 0) return 0.0;
        return std::atan2(dy / ay, dx / ax) * 180.0 / std::numbers::pi;
    };
    const double from = angle(start);
    double extent = angle(end) - from;
    while (extent <= 0) extent += 360.0;  // counter-clockwise; the same ray is a full turn
    UsePen(pen, penWidth);
    XDrawArc(dpy_, target_, gc_, Coord(b.left), Coord(b.top), Extent(b.Width() - 1), Extent(b.Height() - 1),
             int(std::lround(from * 64)), int(std::lround(extent * 64)));
}

FontMetrics X11Painter::GetFontMetrics(const FontSpec& font) {
    XftFont* f = platform_.Font(font);
    if (!f) return {};
    XGlyphInfo x{};
    XftTextExtentsUtf8(dpy_, f, reinterpret_cast<const FcChar8*>("x"), 1, &x);
    return {f->ascent, f->descent, x.xOff};
}

int X11Painter::TextWidth(const FontSpec& font, std::string_view utf8) {
    XftFont* f = platform_.Font(font);
    if (!f || utf8.empty()) return 0;
    XGlyphInfo info{};
    XftTextExtentsUtf8(dpy_, f, reinterpret_cast<const FcChar8*>(utf8.data()), int(utf8.size()), &info);
    return info.xOff;
}

void X11Painter::DrawTextAt(const FontSpec& font, int x, int baselineY, std::string_view utf8, Color c) {
    if (utf8.empty() || clip_.Empty() || !draw_) return;
    XftFont* f = platform_.Font(font);
    const XftColor* color = platform_.TextColor(c, format_);
    if (!f || !color) return;
    XftDrawStringUtf8(draw_, color, f, x + origin_.x, baselineY + origin_.y,
                      reinterpret_cast<const FcChar8*>(utf8.data()), int(utf8.size()));
}

}  // namespace vreko::x11
