// The single-instance guard's named locks and the lookup of the running copy on X11.
// Locks are lock files of this user (another user can neither hold nor fake them); the
// running copy's application window is found among the top-level windows by its class and
// title, hidden ones included, and brought forward with a message only our program answers.
#include "platform/x11/x11_platform.h"

namespace vreko::x11 {

posix::NamedLocks& X11Platform::Locks() {
    if (!locks_) {
        locks_ = std::make_unique<posix::NamedLocks>(posix::LockFolder(), posix::DisplayScope(XDisplayString(dpy_)));
    }
    return *locks_;
}

std::unique_ptr<NamedLock> X11Platform::MakeNamedLock(const std::string& name, bool takeNow, LockOpened& how) {
    return Locks().Open(name, takeNow, how);
}

std::string X11Platform::LockFailureText() { return Locks().Problem(); }

namespace {

std::string WindowTitle(Display* dpy, Window w, Atom netWmName, Atom utf8) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(dpy, w, netWmName, 0, 1024, False, utf8, &type, &format, &count, &after, &data) == Success &&
        data && type == utf8 && format == 8) {
        title.assign(reinterpret_cast<char*>(data), count);
    } else {
        char* name = nullptr;
        if (XFetchName(dpy, w, &name) && name) {
            title = name;
            XFree(name);
        }
    }
    if (data) XFree(data);
    return title;
}

}  // namespace

WindowRef X11Platform::FindAppWindow(WindowRef after, const std::string& className, const std::string& title) {
    ErrorTrap trap(dpy_);  // windows of other programs may go away while we look
    Window rootReturn = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(dpy_, root_, &rootReturn, &parent, &children, &count)) return 0;
    WindowRef found = 0;
    bool past = after == 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        const Window w = children[i];
        if (!past) {
            past = WindowRef(w) == after;
            continue;
        }
        XClassHint cls{};
        if (!XGetClassHint(dpy_, w, &cls)) continue;
        const bool sameClass = cls.res_class && className == cls.res_class;
        if (cls.res_name) XFree(cls.res_name);
        if (cls.res_class) XFree(cls.res_class);
        if (sameClass && WindowTitle(dpy_, w, atoms_.netWmName, atoms_.utf8String) == title) found = w;
    }
    if (children) XFree(children);
    return found;
}

bool X11Platform::Exists(WindowRef w) {
    if (w == 0) return false;
    ErrorTrap trap(dpy_);
    XWindowAttributes attrs{};
    return XGetWindowAttributes(dpy_, Window(w), &attrs) != 0;
}

bool X11Platform::IsMinimised(WindowRef w) {
    // The application window is never shown itself: the copy counts as minimised when a window
    // it leads (its main window) is iconified, which the window manager tells by WM_STATE.
    ErrorTrap trap(dpy_);
    auto iconic = [this](Window x) {
        const std::vector<unsigned long> state = ReadLongs(x, atoms_.wmState, atoms_.wmState, 2);
        return !state.empty() && long(state[0]) == IconicState;
    };
    if (iconic(Window(w))) return true;
    for (unsigned long client : ReadLongs(root_, atoms_.netClientList, XA_WINDOW, 4096)) {
        const std::vector<unsigned long> leader = ReadLongs(Window(client), atoms_.wmClientLeader, XA_WINDOW, 1);
        if (leader.size() == 1 && leader[0] == w && Window(client) != Window(w) && iconic(Window(client))) return true;
    }
    return false;
}

// Restoring and activating are one request to the running copy: its minimised windows come
// back from their icons, and it is activated.
void X11Platform::Restore(WindowRef w, std::uint64_t token) { SendBringForward(Window(w), Time(token), true); }

void X11Platform::BringForward(WindowRef w, std::uint64_t token) {
    if (w) SendBringForward(Window(w), Time(token), false);
}

}  // namespace vreko::x11
