#include "controls/popups.h"

namespace vreko {

// Every backend has a box and a menu of its own so far; one without them gets the program's
// own, drawn over Painter in a CreatePopup window, here.
void ShowMessageBox(Platform& platform, const std::string& text, const std::string& caption, MessageBoxIcon icon) {
    (void)platform.ShowNativeMessageBox(text, caption, icon);
}

int PopupMenu(Platform& platform, Window& owner, const std::vector<std::string>& items, Point client) {
    return platform.NativePopupMenu(owner, items, client).value_or(-1);
}

}  // namespace vreko
