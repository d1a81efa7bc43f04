// GDI drawing for the windowless controls.
#include <algorithm>

#include "platform/win32/win32_platform.h"

namespace vreko::win32 {

namespace {

// System colours come from the system itself here.
COLORREF Native(Color c) {
    if ((c & 0xFF000000) == 0xFF000000) return ::GetSysColor(int(c & 0xFF));
    return COLORREF(c & 0x00FFFFFF);
}

}  // namespace

Win32Painter::Win32Painter(Win32Platform& platform, HDC dc, Rect area) : platform_(platform), dc_(dc), area_(area) {
    savedState_ = ::SaveDC(dc_);
    ::SetBkMode(dc_, TRANSPARENT);
    ::SetPolyFillMode(dc_, WINDING);
    ::SetArcDirection(dc_, AD_COUNTERCLOCKWISE);
}

Win32Painter::~Win32Painter() {
    Deselect();
    if (savedState_) ::RestoreDC(dc_, savedState_);
}

RECT Win32Painter::Device(const Rect& r) const {
    const POINT tl = Device(Point{r.left, r.top});
    return {tl.x, tl.y, tl.x + r.Width(), tl.y + r.Height()};
}

std::vector<POINT> Win32Painter::Device(const std::vector<Point>& pts) const {
    std::vector<POINT> out;
    out.reserve(pts.size());
    for (const Point& p : pts) out.push_back(Device(p));
    return out;
}

void Win32Painter::SetClip(const Rect& clientRect) {
    const Rect r{std::max(clientRect.left, area_.left), std::max(clientRect.top, area_.top),
                 std::min(clientRect.right, area_.right), std::min(clientRect.bottom, area_.bottom)};
    // Clip regions are in device units: the surface's pixels, from the paint area's corner.
    HRGN region =
        r.Empty() ? ::CreateRectRgn(0, 0, 0, 0)
                  : ::CreateRectRgn(r.left - area_.left, r.top - area_.top, r.right - area_.left, r.bottom - area_.top);
    if (!region) return;
    ::SelectClipRgn(dc_, region);
    ::DeleteObject(region);
}

void Win32Painter::Select(Color pen, int penWidth, Color fill, bool hollow) {
    Deselect();
    pen_ = penWidth > 0 ? ::CreatePen(PS_SOLID, penWidth, Native(pen)) : nullptr;
    brush_ = hollow ? nullptr : ::CreateSolidBrush(Native(fill));
    ::SelectObject(dc_, pen_ ? static_cast<HGDIOBJ>(pen_) : ::GetStockObject(NULL_PEN));
    ::SelectObject(dc_, brush_ ? static_cast<HGDIOBJ>(brush_) : ::GetStockObject(NULL_BRUSH));
}

void Win32Painter::Deselect() {
    if (!pen_ && !brush_) return;
    ::SelectObject(dc_, ::GetStockObject(NULL_PEN));
    ::SelectObject(dc_, ::GetStockObject(NULL_BRUSH));
    if (pen_) ::DeleteObject(pen_);
    if (brush_) ::DeleteObject(brush_);
    pen_ = nullptr;
    brush_ = nullptr;
}

void Win32Painter::FillRect(const Rect& r, Color c) {
    if (r.Empty()) return;
    const RECT rc = Device(r);
    HBRUSH brush = ::CreateSolidBrush(Native(c));
    if (!brush) return;
    ::FillRect(dc_, &rc, brush);
    ::DeleteObject(brush);
}

void Win32Painter::Polygon(const std::vector<Point>& pts, Color fill, Color pen, int penWidth) {
    if (pts.size() < 2) return;
    const std::vector<POINT> p = Device(pts);
    Select(pen, penWidth, fill, false);
    ::Polygon(dc_, p.data(), int(p.size()));
    Deselect();
}

void Win32Painter::Polyline(const std::vector<Point>& pts, Color pen, int penWidth) {
    if (pts.size() < 2 || penWidth <= 0) return;
    const std::vector<POINT> p = Device(pts);
    Select(pen, penWidth, 0, true);
    ::Polyline(dc_, p.data(), int(p.size()));
    Deselect();
}

void Win32Painter::Ellipse(const Rect& box, Color fill, Color pen, int penWidth) {
    const RECT r = Device(box);
    Select(pen, penWidth, fill, false);
    // Without a pen GDI leaves out the right and bottom edge: the box grows by that pixel.
    const int extra = penWidth > 0 ? 0 : 1;
    ::Ellipse(dc_, r.left, r.top, r.right + extra, r.bottom + extra);
    Deselect();
}

void Win32Painter::Arc(const Rect& box, Point start, Point end, Color pen, int penWidth) {
    if (penWidth <= 0) return;
    const RECT r = Device(box);
    const POINT s = Device(start), e = Device(end);
    Select(pen, penWidth, 0, true);
    ::Arc(dc_, r.left, r.top, r.right, r.bottom, s.x, s.y, e.x, e.y);
    Deselect();
}

FontMetrics Win32Painter::GetFontMetrics(const FontSpec& font) {
    HGDIOBJ old = ::SelectObject(dc_, platform_.Font(font));
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc_, &tm);
    ::SelectObject(dc_, old);
    return {int(tm.tmAscent), int(tm.tmDescent), int(tm.tmAveCharWidth)};
}

int Win32Painter::TextWidth(const FontSpec& font, std::string_view utf8) {
    const std::wstring text = Widen(utf8);
    if (text.empty()) return 0;
    HGDIOBJ old = ::SelectObject(dc_, platform_.Font(font));
    SIZE size{};
    ::GetTextExtentPoint32W(dc_, text.c_str(), int(text.size()), &size);
    ::SelectObject(dc_, old);
    return int(size.cx);
}

void Win32Painter::DrawTextAt(const FontSpec& font, int x, int baselineY, std::string_view utf8, Color c) {
    const std::wstring text = Widen(utf8);
    if (text.empty()) return;
    HGDIOBJ old = ::SelectObject(dc_, platform_.Font(font));
    const UINT align = ::SetTextAlign(dc_, TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
    ::SetTextColor(dc_, Native(c));
    const POINT p = Device(Point{x, baselineY});
    ::ExtTextOutW(dc_, p.x, p.y, 0, nullptr, text.c_str(), UINT(text.size()), nullptr);
    ::SetTextAlign(dc_, align);
    ::SelectObject(dc_, old);
}

}  // namespace vreko::win32
