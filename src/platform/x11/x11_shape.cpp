// The window's rounded outline: the X Shape extension's bounding and input shapes, and on a
// translucent window its transparent outside as well.

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/x11/x11_platform.h"

namespace vreko::x11 {

std::vector<Rect> RoundRectRegionRows(const Rect& box, int rx, int ry) {
    int left = std::min(box.left, box.right), right = std::max(box.left, box.right);
    int top = std::min(box.top, box.bottom), bottom = std::max(box.top, box.bottom);
    // Like the Windows rounded-rectangle region, the region leaves out the box's right
    // column and bottom row.
    --right;
    --bottom;
    if (right <= left || bottom <= top) return {};
    const int ew = std::min(right - left, std::abs(rx));
    const int eh = std::min(bottom - top, std::abs(ry));
    if (ew < 2 || eh < 2) return {{left, top, right, bottom}};

    // A corner is a quarter of the ew by eh ellipse in the box's corner; a pixel belongs to
    // the region when its centre lies inside that ellipse. Row i from the top (and from the
    // bottom) is cut by the same number of pixels at both ends.
    const double a = ew / 2.0, b = eh / 2.0;
    auto inset = [&](int i) {
        const double dy = (b - (i + 0.5)) / b;
        const double half = a * std::sqrt(std::max(0.0, 1.0 - dy * dy));
        return std::clamp(int(std::ceil(a - half - 0.5)), 0, ew / 2);
    };

    std::vector<Rect> rows;
    auto add = [&](int y0, int y1, int cut) {
        if (y1 <= y0) return;
        if (!rows.empty() && rows.back().bottom == y0 && rows.back().left == left + cut &&
            rows.back().right == right - cut) {
            rows.back().bottom = y1;  // one rectangle for a run of equal rows
            return;
        }
        rows.push_back({left + cut, y0, right - cut, y1});
    };
    const int corner = eh / 2;
    for (int i = 0; i < corner; ++i) add(top + i, top + i + 1, inset(i));
    add(top + corner, bottom - corner, 0);
    for (int i = corner - 1; i >= 0; --i) add(bottom - 1 - i, bottom - i, inset(i));
    return rows;
}

void X11Window::SetRoundedOutline(const Rect& box, int rx, int ry) {
    const std::vector<Rect> rows = RoundRectRegionRows(box, rx, ry);
    // A translucent window is see-through outside its outline, for every compositor, also
    // those that ignore the shape.
    const bool translucent = format_.alphaMask != 0;
    if (translucent) PaintOutline(rows);

    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XShapeQueryExtension(dpy_, &eventBase, &errorBase) || !XShapeQueryVersion(dpy_, &major, &minor)) return;
    std::vector<XRectangle> rects;
    for (const Rect& r : rows) {
        const int x = std::clamp(r.left, -32768, 32767), y = std::clamp(r.top, -32768, 32767);
        rects.push_back({short(x), short(y), static_cast<unsigned short>(std::clamp(r.right - x, 0, 65535)),
                         static_cast<unsigned short>(std::clamp(r.bottom - y, 0, 65535))});
    }
    // What lies outside is neither drawn nor clicked: the bounding shape cuts the corners also
    // on a translucent window, for when the compositor stops (its transparent corners would then
    // show black) and for window managers that shape their frame after it, so that the frame
    // does not catch the pointer there; the input shape (Shape 1.1) follows it.
    XShapeCombineRectangles(dpy_, win_, ShapeBounding, 0, 0, rects.data(), int(rects.size()), ShapeSet, YXBanded);
    if (major > 1 || (major == 1 && minor >= 1))
        XShapeCombineRectangles(dpy_, win_, ShapeInput, 0, 0, rects.data(), int(rects.size()), ShapeSet, YXBanded);
    XFlush(dpy_);
}

void X11Window::PaintOutline(const std::vector<Rect>& rows) {
    outline_ = rows;
    // The window's background: fully transparent, the inside of the outline opaque in the
    // window's colour. The server paints it at every exposure; the painters keep within the
    // outline, so the corners stay transparent.
    const Pixmap background = XCreatePixmap(dpy_, win_, unsigned(width_), unsigned(height_), unsigned(format_.depth));
    GC gc = XCreateGC(dpy_, background, 0, nullptr);
    XSetForeground(dpy_, gc, 0);
    XFillRectangle(dpy_, background, gc, 0, 0, unsigned(width_), unsigned(height_));
    XSetForeground(dpy_, gc, platform_.Pixel(background_, format_));
    for (const Rect& r : rows) {
        const Rect inside{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width_),
                          std::min(r.bottom, height_)};
        if (!inside.Empty())
            XFillRectangle(dpy_, background, gc, inside.left, inside.top, unsigned(inside.Width()),
                           unsigned(inside.Height()));
    }
    XFreeGC(dpy_, gc);
    XSetWindowBackgroundPixmap(dpy_, win_, background);
    XFreePixmap(dpy_, background);
    XClearArea(dpy_, win_, 0, 0, 0, 0, True);
}

}  // namespace vreko::x11
