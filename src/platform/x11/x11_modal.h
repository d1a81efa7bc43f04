// Pieces shared by the X11 message box and popup menu: the dialog font, an off-screen image
// to draw them in, and the nested loop that keeps the program running while one is open.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/x11/x11_platform.h"

namespace vreko::x11 {

// The desktop's dialog text: a sans-serif face with Cyrillic glyphs, 9 pt at the screen's DPI.
class DialogFont {
public:
    explicit DialogFont(X11Platform& platform);
    ~DialogFont();
    DialogFont(const DialogFont&) = delete;
    DialogFont& operator=(const DialogFont&) = delete;

    XftFont* get() const { return font_; }  // null only when fontconfig finds no font at all
    int Ascent() const { return font_ ? font_->ascent : 0; }
    int LineHeight() const { return font_ ? font_->ascent + font_->descent : 0; }
    int Width(std::string_view utf8) const;

private:
    Display* dpy_;
    XftFont* font_ = nullptr;
};

// Lengths of a design made for 96 pixels per inch, in screen pixels.
class DialogScale {
public:
    explicit DialogScale(int dpi) : dpi_(dpi > 0 ? dpi : 96) {}
    int operator()(int px96) const { return (px96 * dpi_ + 48) / 96; }

private:
    int dpi_;
};

// The whole picture of a small window, drawn off-screen and copied to the window, so that
// exposures are a copy and changes never flicker.
class BackBuffer {
public:
    BackBuffer(X11Platform& platform, Window target, int width, int height);
    ~BackBuffer();
    BackBuffer(const BackBuffer&) = delete;
    BackBuffer& operator=(const BackBuffer&) = delete;

    Display* display() const { return dpy_; }
    Drawable drawable() const { return pixmap_; }
    GC gc() const { return gc_; }
    X11Platform& platform() const { return platform_; }

    void Fill(const Rect& r, Color c);
    // A one-pixel outline along the inside of r.
    void Frame(const Rect& r, Color c);
    void Text(const DialogFont& font, int x, int baseline, std::string_view utf8, Color c);
    // Copies area (the whole picture when null) to the window.
    void Present(const Rect* area = nullptr);

private:
    X11Platform& platform_;
    Display* dpy_;
    Window target_;
    int width_;
    int height_;
    Pixmap pixmap_ = 0;
    GC gc_ = nullptr;
    XftDraw* draw_ = nullptr;
};

// The text with every byte that starts no valid UTF-8 sequence replaced by U+FFFD, so that Xft
// draws all of it.
std::string ValidUtf8(std::string_view text);
// The length of the UTF-8 sequence that starts with lead (of valid text).
int Utf8Length(unsigned char lead);

// Serves the program (its timers, paints and other windows) until done holds or the program
// is asked to quit; without the program's loop, the connection's events alone.
void RunModalLoop(X11Platform& platform, const std::function<bool()>& done);

}  // namespace vreko::x11
