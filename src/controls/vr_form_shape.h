// Gives the main window its rounded outline and makes its bare background drag the window.
#pragma once

#include <functional>

#include "platform/message.h"
#include "platform/platform.h"

namespace vreko {

enum class TVrRegionBorderStyle { rbNone, rbLowered, rbRaised, rbSingle, rbSingleRaised, rbSingleLowered, rbRaisedpsb, rbLoweredpsb };

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

    // The owner's native window and its client size; the filter is installed on it.
    void HookOwner(NativeWindow* window, int width, int height);
    void UnhookOwner() { window_ = nullptr; }
    bool Hooked() const { return window_ != nullptr; }
    // Loading of the window's design has ended: install the filter and apply the outline.
    void Loaded(NativeWindow* window, int width, int height);
    void UpdateRegion();
    // The owner's client area has a new size: the outline follows it.
    void Resize(int width, int height);

    // The filter: sees the owner's messages before its own handling. A right press on the
    // bare background keeps it from dragging until that button's non-client release or the
    // next change of the pointer capture (which the release of that press brings).
    void FilterMessage(const Message& m);
    // The hit test turned into a caption hit on the bare background: clientHit is the
    // window's own answer, controlUnder whether a visible, enabled control lies there.
    int HitTest(int clientHit, bool controlUnder) const;
    bool RightButtonDown() const { return rightButtonDown_; }

private:
    NativeWindow* window_ = nullptr;
    int width_ = 0, height_ = 0;
    bool rightButtonDown_ = false;
};

}  // namespace vreko
