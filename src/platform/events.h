// What a window system tells the program, in the program's own words: typed events in the
// client coordinates of the window they are for. Every backend translates its native events
// into these in one place; nothing of a window system's own numbering passes the seam.
#pragma once

#include <cstdint>
#include <variant>

#include "platform/types.h"

namespace vreko {

// The keys the program tells apart; every other key is Other.
enum class Key { Up, Down, Left, Right, Escape, Menu, Return, Space, Tab, Other };

enum class PointerButton { Left, Right, Middle };

// Where a point of a window lies, as the window itself answered the backend (WindowHandler::
// AreaAt): in its client area, or on its bare background, which drags the window as a caption
// does.
enum class Area { Client, Background };

// Buttons and modifiers held at a pointer event (before a press, after a release).
struct HeldKeys {
    bool left = false, right = false, middle = false, shift = false, control = false;
    bool ButtonHeld() const { return left || right || middle; }
};

// A key went down (or repeats). withAlt: the window system keeps it for itself (held with Alt
// and without Ctrl, or F10, its menu key): the program leaves it alone entirely.
struct KeyPressed {
    Key key = Key::Other;
    bool repeat = false;
    bool withAlt = false;
};
struct PointerMoved {
    Point at;
    Area area = Area::Client;
    HeldKeys held;
};
struct ButtonChanged {
    PointerButton button = PointerButton::Left;
    bool down = false;
    bool doubleClick = false;  // the second press of a double-click
    Point at;
    Area area = Area::Client;
    HeldKeys held;
};
// The wheel turned: positive steps away from the user, negative towards; a part of a step
// counts as a whole one, and 0 (a turn of no length) counts as towards.
struct WheelTurned {
    int steps = 0;
};
struct PointerLeft {};
// The pointer held by the window (CapturePointer) was let go or taken away.
struct GrabLost {};
// The user asked the window to close (a window manager's close button, Alt+F4).
struct CloseAsked {};
// The program has become the active application.
struct BecameActive {};
// A part of the window must be drawn again (Window::Draw).
struct NeedsPaint {
    Rect area;
};
// Another copy of the program asks this one to come forward; token lets the window system
// grant the activation (the X11 launch time, a Wayland activation token).
struct AskedForward {
    std::uint64_t token = 0;
};
// The machine has slept and woken since the last tick.
struct MachineWoke {};
// The window's screen changed its resolution, or the window moved to a screen of another.
struct ResolutionChanged {
    int dpi = 96;
};

using EventData = std::variant<KeyPressed, PointerMoved, ButtonChanged, WheelTurned, PointerLeft, GrabLost, CloseAsked,
                               BecameActive, NeedsPaint, AskedForward, MachineWoke, ResolutionChanged>;

class EventHandler;

struct Event {
    EventHandler* target = nullptr;  // the window (or the application) the event is for
    EventData data;
    template <typename T>
    const T* As() const {
        return std::get_if<T>(&data);
    }
};

// Anything events are dispatched to: the main window, the application, a box, a menu.
class EventHandler {
public:
    virtual ~EventHandler() = default;
    virtual void Handle(const Event& e) = 0;
};

// A window the program draws itself: the backend also asks it where its points lie.
class WindowHandler : public EventHandler {
public:
    virtual Area AreaAt(Point client) {
        (void)client;
        return Area::Client;
    }
};

}  // namespace vreko
