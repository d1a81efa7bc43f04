// Gives the main window its rounded outline and makes its bare background drag the window.
#pragma once

#include "platform/platform.h"

namespace vreko {

enum class TVrRegionBorderStyle {
    rbNone,
    rbLowered,
    rbRaised,
    rbSingle,
    rbSingleRaised,
    rbSingleLowered,
    rbRaisedpsb,
    rbLoweredpsb
};

struct TVrBorderRegion {
    int RoundX = 20;
    int RoundY = 20;
    Point Offset;  // added to the left and top of the shape rectangle
    TVrRegionBorderStyle BorderStyle = TVrRegionBorderStyle::rbSingle;
};

class TVrFormShape {
public:
    bool Enabled = true;
    bool FormDragable = true;
    TVrBorderRegion Region;

    // The owner's window and its client size; the filter is installed on it.
    void HookOwner(Window* window, int width, int height);
    void UnhookOwner() { window_ = nullptr; }
    bool Hooked() const { return window_ != nullptr; }
    // Loading of the window's design has ended: install the filter and apply the outline.
    void Loaded(Window* window, int width, int height);
    void UpdateRegion();
    // The owner's client area has a new size: the outline follows it.
    void Resize(int width, int height);

    // The filter: sees the owner's events before its own handling. A right press on the
    // bare background keeps it from dragging until that button's release there or the next
    // loss of the pointer (which the release of that press brings).
    void FilterEvent(const Event& e);
    // Where a point lies once the bare background drags: clientArea is the window's own
    // answer, controlUnder whether a visible, enabled control lies there.
    Area AreaAt(Area clientArea, bool controlUnder) const;
    bool RightButtonDown() const { return rightButtonDown_; }

private:
    Window* window_ = nullptr;
    int width_ = 0, height_ = 0;
    bool rightButtonDown_ = false;
};

}  // namespace vreko
