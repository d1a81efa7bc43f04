// The program's message box and popup menu, one entry each for the whole program: the window
// system's own where it has them, else the program's own, drawn in a window of its own while
// the program runs on.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace vreko {

// Shows the box and returns when the user has closed it (the loop runs meanwhile).
void ShowMessageBox(Platform& platform, const std::string& text, const std::string& caption, MessageBoxIcon icon);
// Shows the menu at a point of owner's client area and returns the chosen item's index, or -1.
int PopupMenu(Platform& platform, Window& owner, const std::vector<std::string>& items, Point client);

}  // namespace vreko
