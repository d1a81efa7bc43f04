// Pixel formats: the screen's own, and a 32-bit one with alpha for the main window where a
// compositing manager runs. There the outside of the window's rounded outline is painted fully
// transparent, which every compositor shows as see-through, also those that draw a window as
// its whole rectangle and ignore its shape (wlroots desktops such as sway). Without a
// compositor alpha means nothing and the corners would show black: the shape cuts them there.

#include "platform/x11/x11_platform.h"

namespace vreko::x11 {

namespace {

// The bits of a pixel of the visual that no colour channel uses: its alpha, at depth 32.
unsigned long AlphaBits(const Visual& v, int depth) {
    if (depth != 32) return 0;
    return 0xFFFFFFFFUL & ~(v.red_mask | v.green_mask | v.blue_mask);
}

}  // namespace

bool X11Platform::CompositorRunning() {
    // A compositing manager owns the selection _NET_WM_CM_S<screen> while it runs.
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen_);
    const Atom selection = XInternAtom(dpy_, name.c_str(), False);
    return XGetSelectionOwner(dpy_, selection) != 0;
}

const PixelFormat& X11Platform::MainWindowFormat() {
    if (mainFormat_) return *mainFormat_;
    mainFormat_ = screenFormat_;
    XVisualInfo info{};
    if (CompositorRunning() && XMatchVisualInfo(dpy_, screen_, 32, TrueColor, &info) &&
        AlphaBits(*info.visual, info.depth) != 0) {
        PixelFormat f;
        f.visual = info.visual;
        f.depth = info.depth;
        f.alphaMask = AlphaBits(*info.visual, info.depth);
        // A visual other than the root's needs a colormap of its own.
        f.colormap = XCreateColormap(dpy_, root_, info.visual, AllocNone);
        if (f.colormap) mainFormat_ = f;
    }
    return *mainFormat_;
}

void X11Platform::FreePixelFormats() {
    for (auto& [key, xc] : textColors_) XftColorFree(dpy_, key.first->visual, key.first->colormap, &xc);
    textColors_.clear();
    if (mainFormat_ && mainFormat_->colormap != screenFormat_.colormap) XFreeColormap(dpy_, mainFormat_->colormap);
}

unsigned long X11Platform::Pixel(Color c, const PixelFormat& format) {
    c = ResolveColor(c);
    const auto key = std::make_pair(static_cast<const Visual*>(format.visual), c);
    if (auto it = pixels_.find(key); it != pixels_.end()) return it->second;
    const Visual& v = *format.visual;
    unsigned long pixel = 0;
    if (v.c_class == TrueColor || v.c_class == DirectColor) {
        // Scale each 8-bit channel to the width of its mask and shift it into place; the
        // alpha bits, if any, are all set: every pixel the program paints is opaque.
        auto channel = [](unsigned int value8, unsigned long mask) -> unsigned long {
            if (!mask) return 0;
            int shift = 0;
            while (!((mask >> shift) & 1)) ++shift;
            const unsigned long max = mask >> shift;
            return ((value8 * max + 127) / 255) << shift;
        };
        pixel = channel(RedOf(c), v.red_mask) | channel(GreenOf(c), v.green_mask) | channel(BlueOf(c), v.blue_mask) |
                format.alphaMask;
    } else {
        XColor xc{};
        xc.red = std::uint16_t(RedOf(c) * 257);
        xc.green = std::uint16_t(GreenOf(c) * 257);
        xc.blue = std::uint16_t(BlueOf(c) * 257);
        xc.flags = DoRed | DoGreen | DoBlue;
        pixel = XAllocColor(dpy_, format.colormap, &xc) ? xc.pixel : BlackPixel(dpy_, screen_);
    }
    pixels_[key] = pixel;
    return pixel;
}

const XftColor* X11Platform::TextColor(Color c, const PixelFormat& format) {
    c = ResolveColor(c);
    const auto key = std::make_pair(&format, c);
    if (auto it = textColors_.find(key); it != textColors_.end()) return &it->second;
    // Text is drawn over what is there with full opacity.
    XRenderColor rc{std::uint16_t(RedOf(c) * 257), std::uint16_t(GreenOf(c) * 257), std::uint16_t(BlueOf(c) * 257),
                    0xFFFF};
    XftColor xc{};
    if (!XftColorAllocValue(dpy_, format.visual, format.colormap, &rc, &xc)) return nullptr;
    xc.pixel |= format.alphaMask;
    return &textColors_.emplace(key, xc).first->second;
}

}  // namespace vreko::x11
