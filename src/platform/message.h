// The one portable message record. Every backend translates its native events into it,
// with the Win32 message numbers and parameter layouts, so the program's message hook and
// window handling read the same record on every window system.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace vreko {

class WindowHandler;

namespace msg {
constexpr std::uint32_t kPaint = 0x000F;
constexpr std::uint32_t kClose = 0x0010;
constexpr std::uint32_t kActivateApp = 0x001C;
constexpr std::uint32_t kContextMenu = 0x007B;
constexpr std::uint32_t kNcMouseMove = 0x00A0;
constexpr std::uint32_t kNcLButtonDown = 0x00A1;
constexpr std::uint32_t kNcLButtonUp = 0x00A2;
constexpr std::uint32_t kNcLButtonDblClk = 0x00A3;
constexpr std::uint32_t kNcRButtonDown = 0x00A4;
constexpr std::uint32_t kNcRButtonUp = 0x00A5;
constexpr std::uint32_t kNcRButtonDblClk = 0x00A6;
constexpr std::uint32_t kNcMButtonDown = 0x00A7;
constexpr std::uint32_t kNcMButtonUp = 0x00A8;
constexpr std::uint32_t kKeyDown = 0x0100;
constexpr std::uint32_t kKeyUp = 0x0101;
constexpr std::uint32_t kChar = 0x0102;
constexpr std::uint32_t kSysKeyDown = 0x0104;
constexpr std::uint32_t kSysKeyUp = 0x0105;
constexpr std::uint32_t kTimer = 0x0113;
constexpr std::uint32_t kMouseMove = 0x0200;
constexpr std::uint32_t kLButtonDown = 0x0201;
constexpr std::uint32_t kLButtonUp = 0x0202;
constexpr std::uint32_t kLButtonDblClk = 0x0203;
constexpr std::uint32_t kRButtonDown = 0x0204;
constexpr std::uint32_t kRButtonUp = 0x0205;
constexpr std::uint32_t kRButtonDblClk = 0x0206;
constexpr std::uint32_t kMButtonDown = 0x0207;
constexpr std::uint32_t kMButtonUp = 0x0208;
constexpr std::uint32_t kMButtonDblClk = 0x0209;
constexpr std::uint32_t kMouseWheel = 0x020A;
// Sent to a window at once when it loses the pointer capture (released, or taken away).
constexpr std::uint32_t kCaptureChanged = 0x0215;
constexpr std::uint32_t kMouseLeave = 0x02A3;
// The window's screen changed its resolution, or the window moved to a screen of another:
// the new pixels per inch in the low word of wParam.
constexpr std::uint32_t kDpiChanged = 0x02E0;
// Posted by the application to itself when it has become the active application.
constexpr std::uint32_t kAppActivated = 0x0400 + 0x0C00;
// From the backend: a start left pending is decided; wParam holds its outcome.
constexpr std::uint32_t kStartDecided = 0x0400 + 0x0C01;
}  // namespace msg

namespace vk {
constexpr std::uint32_t kBack = 0x08;
constexpr std::uint32_t kTab = 0x09;
constexpr std::uint32_t kReturn = 0x0D;
constexpr std::uint32_t kShift = 0x10;
constexpr std::uint32_t kControl = 0x11;
constexpr std::uint32_t kMenu = 0x12;  // Alt
constexpr std::uint32_t kEscape = 0x1B;
constexpr std::uint32_t kSpace = 0x20;
constexpr std::uint32_t kLeft = 0x25;
constexpr std::uint32_t kUp = 0x26;
constexpr std::uint32_t kRight = 0x27;
constexpr std::uint32_t kDown = 0x28;
constexpr std::uint32_t kApps = 0x5D;  // the keyboard's menu key
constexpr std::uint32_t kF1 = 0x70;
}  // namespace vk

// Mouse-key flags in the low word of wParam of mouse messages.
namespace mk {
constexpr std::uint32_t kLButton = 0x0001;
constexpr std::uint32_t kRButton = 0x0002;
constexpr std::uint32_t kShift = 0x0004;
constexpr std::uint32_t kControl = 0x0008;
constexpr std::uint32_t kMButton = 0x0010;
}  // namespace mk

struct Message {
    WindowHandler* window = nullptr;  // the program's window the message is for (null: the thread)
    std::uint32_t message = 0;
    std::uint64_t wParam = 0;
    std::int64_t lParam = 0;
    std::uint32_t time = 0;  // milliseconds, the event's own time stamp
    Point pt;                // pointer position in screen coordinates
};

// lParam of client mouse messages: x in the low 16 bits, y in the high 16 bits, both signed.
constexpr std::int64_t MakePointParam(int x, int y) {
    return std::int64_t((std::uint32_t(std::uint16_t(x))) | (std::uint32_t(std::uint16_t(y)) << 16));
}
constexpr Point PointFromParam(std::int64_t lp) {
    return {std::int16_t(std::uint16_t(lp & 0xFFFF)), std::int16_t(std::uint16_t((lp >> 16) & 0xFFFF))};
}
// wParam of the wheel message: the delta in the high 16 bits, key flags in the low 16.
constexpr std::uint64_t MakeWheelParam(int delta, std::uint32_t keys) {
    return std::uint64_t((std::uint32_t(std::uint16_t(delta)) << 16) | (keys & 0xFFFF));
}

// Anything that receives dispatched messages: the main window, a menu, a message box.
class WindowHandler {
public:
    virtual ~WindowHandler() = default;
    virtual void WndProc(const Message& m) = 0;
};

// Tells a window at once that it no longer holds the mouse capture, as the window system does
// when the capture is released or taken away.
inline void NotifyCaptureLost(WindowHandler& window) {
    Message m;
    m.window = &window;
    m.message = msg::kCaptureChanged;
    window.WndProc(m);
}

}  // namespace vreko
