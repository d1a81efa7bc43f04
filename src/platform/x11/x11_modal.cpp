// Modal user interface on X11, in its simplest form: the message goes to the standard error
// stream, and no menu is shown.
#include <cstdio>

#include "platform/x11/x11_platform.h"

namespace vreko::x11 {

void X11Platform::MessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon) {
    (void)icon;
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

int X11Platform::TrackPopupMenu(const std::vector<std::string>& items, Point screen) {
    (void)items;
    (void)screen;
    return -1;  // no item chosen
}

}  // namespace vreko::x11
