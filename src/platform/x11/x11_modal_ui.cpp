// The dialog font, the off-screen picture and the nested loop of the X11 message box and menu.
#include "platform/x11/x11_modal.h"

namespace vreko::x11 {

// ---- font -----------------------------------------------------------------------------------

DialogFont::DialogFont(X11Platform& platform) : dpy_(platform.display()) {
    constexpr double kPoints = 9.0;
    const double pixelSize = kPoints * platform.ScreenDpi() / 72.0;
    constexpr FcChar32 kCyrillicZhe = 0x0416;  // a Russian text needs Cyrillic glyphs

    // DejaVu Sans where it is installed, else the desktop's sans-serif face that covers Russian.
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("DejaVu Sans"));
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ru"));
    FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, pixelSize);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    XftDefaultSubstitute(dpy_, platform.screen(), pattern);

    FcResult result = FcResultNoMatch;
    if (FcFontSet* set = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result)) {
        for (int i = 0; i < set->nfont && !font_; ++i) {
            FcCharSet* chars = nullptr;
            if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &chars) != FcResultMatch ||
                !FcCharSetHasChar(chars, kCyrillicZhe))
                continue;
            FcPattern* prepared = FcFontRenderPrepare(nullptr, pattern, set->fonts[i]);
            if (prepared && !(font_ = XftFontOpenPattern(dpy_, prepared))) FcPatternDestroy(prepared);
        }
        FcFontSetDestroy(set);
    }
    FcPatternDestroy(pattern);
    if (!font_)
        font_ = XftFontOpen(dpy_, platform.screen(), FC_FAMILY, FcTypeString, "sans-serif", FC_PIXEL_SIZE, FcTypeDouble,
                            pixelSize, nullptr);
}

DialogFont::~DialogFont() {
    if (font_) XftFontClose(dpy_, font_);
}

int DialogFont::Width(std::string_view utf8) const {
    if (!font_ || utf8.empty()) return 0;
    XGlyphInfo info{};
    XftTextExtentsUtf8(dpy_, font_, reinterpret_cast<const FcChar8*>(utf8.data()), int(utf8.size()), &info);
    return info.xOff;
}

// ---- off-screen picture -----------------------------------------------------------------------

BackBuffer::BackBuffer(X11Platform& platform, Window target, int width, int height)
    : platform_(platform), dpy_(platform.display()), target_(target), width_(width), height_(height) {
    pixmap_ = XCreatePixmap(dpy_, target_, unsigned(width_), unsigned(height_), unsigned(platform_.depth()));
    XGCValues values{};
    values.graphics_exposures = False;
    gc_ = XCreateGC(dpy_, pixmap_, GCGraphicsExposures, &values);
    draw_ = XftDrawCreate(dpy_, pixmap_, platform_.visual(), platform_.colormap());
}

BackBuffer::~BackBuffer() {
    if (draw_) XftDrawDestroy(draw_);
    XFreeGC(dpy_, gc_);
    XFreePixmap(dpy_, pixmap_);
}

void BackBuffer::Fill(const Rect& r, Color c) {
    if (r.Empty()) return;
    XSetForeground(dpy_, gc_, platform_.Pixel(c));
    XFillRectangle(dpy_, pixmap_, gc_, r.left, r.top, unsigned(r.Width()), unsigned(r.Height()));
}

void BackBuffer::Frame(const Rect& r, Color c) {
    if (r.Empty()) return;
    Fill({r.left, r.top, r.right, r.top + 1}, c);
    Fill({r.left, r.bottom - 1, r.right, r.bottom}, c);
    Fill({r.left, r.top, r.left + 1, r.bottom}, c);
    Fill({r.right - 1, r.top, r.right, r.bottom}, c);
}

void BackBuffer::Text(const DialogFont& font, int x, int baseline, std::string_view utf8, Color c) {
    const XftColor* color = platform_.TextColor(c);
    if (!draw_ || !font.get() || !color || utf8.empty()) return;
    XftDrawStringUtf8(draw_, color, font.get(), x, baseline, reinterpret_cast<const FcChar8*>(utf8.data()),
                      int(utf8.size()));
}

void BackBuffer::Present(const Rect* area) {
    const Rect r = area ? *area : Rect{0, 0, width_, height_};
    if (r.Empty()) return;
    XCopyArea(dpy_, pixmap_, target_, gc_, r.left, r.top, unsigned(r.Width()), unsigned(r.Height()), r.left, r.top);
}

// ---- text -------------------------------------------------------------------------------------

int Utf8Length(unsigned char lead) {
    return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

std::string ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
        const unsigned char lead = byte(0);
        int n = 0;
        if (lead < 0x80)
            n = 1;
        else if (lead >= 0xC2 && lead <= 0xDF)
            n = 2;
        else if (lead >= 0xE0 && lead <= 0xEF)
            n = 3;
        else if (lead >= 0xF0 && lead <= 0xF4)
            n = 4;
        bool ok = n > 0 && i + std::size_t(n) <= text.size();
        for (int k = 1; ok && k < n; ++k) ok = (byte(std::size_t(k)) & 0xC0) == 0x80;
        // No overlong forms, no surrogates, nothing beyond U+10FFFF.
        if (ok && lead == 0xE0) ok = byte(1) >= 0xA0;
        if (ok && lead == 0xED) ok = byte(1) < 0xA0;
        if (ok && lead == 0xF0) ok = byte(1) >= 0x90;
        if (ok && lead == 0xF4) ok = byte(1) < 0x90;
        if (ok) {
            out.append(text.substr(i, std::size_t(n)));
            i += std::size_t(n);
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

// ---- nested loop ------------------------------------------------------------------------------

void RunModalLoop(X11Platform& platform, const std::function<bool()>& done) {
    if (EventLoop* loop = platform.Loop()) {
        loop->RunUntil(done);
        return;
    }
    // No program loop to serve: the box or menu still gets its events, and the program's
    // windows theirs, without timers or the hook.
    while (!done()) {
        Event e;
        if (platform.Next(e)) {
            if (e.target) e.target->Handle(e);
            continue;
        }
        if (!done()) platform.Wait(-1);
    }
}

}  // namespace vreko::x11
