// The X11 backend: requests to the window manager, the screen, the program's path and the
// shell, its top-level windows and their properties. The connection is in x11_connection.cpp,
// the events in x11_events.cpp.
#include "platform/x11/x11_platform.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/native.h"
#include "platform/posix/settings_file.h"
#include "platform/posix/shell_launch.h"

namespace vreko::x11 {

// ---- window manager -----------------------------------------------------------------------

std::vector<unsigned long> X11Platform::ReadLongs(Window w, Atom property, Atom type, long max) {
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> items;
    if (XGetWindowProperty(dpy_, w, property, 0, max, False, type, &actual, &format, &count, &after, &data) ==
            Success &&
        data && actual == type && format == 32) {
        const auto* list = reinterpret_cast<unsigned long*>(data);
        items.assign(list, list + count);
    }
    if (data) XFree(data);
    return items;
}

bool X11Platform::WmSupports(Atom feature) {
    // A window manager that is running names its check window on the root and on itself.
    auto readWindow = [this](Window on) -> Window {
        const std::vector<unsigned long> w = ReadLongs(on, atoms_.netSupportingWmCheck, XA_WINDOW, 1);
        return w.size() == 1 ? Window(w[0]) : 0;
    };
    Window check = readWindow(root_);
    if (!check) return false;
    {
        ErrorTrap trap(dpy_);
        if (readWindow(check) != check || trap.Failed()) return false;
    }
    for (unsigned long a : ReadLongs(root_, atoms_.netSupported, XA_ATOM, 4096))
        if (Atom(a) == feature) return true;
    return false;
}

void X11Platform::SendWmRequest(Window w, Atom type, long l0, long l1, long l2, long l3, long l4) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = type;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = l0;
    ev.xclient.data.l[1] = l1;
    ev.xclient.data.l[2] = l2;
    ev.xclient.data.l[3] = l3;
    ev.xclient.data.l[4] = l4;
    XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
}

void X11Platform::SendWmState(Window w, long action, Atom state) {
    SendWmRequest(w, atoms_.netWmState, action, long(state), 0, 1 /* from a normal application */);
}

// ---- screen -------------------------------------------------------------------------------

Rect X11Platform::PrimaryMonitor() {
    const Rect whole{0, 0, DisplayWidth(dpy_, screen_), DisplayHeight(dpy_, screen_)};
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(dpy_, &eventBase, &errorBase) || !XRRQueryVersion(dpy_, &major, &minor) ||
        major * 100 + minor < 105)
        return whole;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(dpy_, root_, True, &count);
    if (!monitors) return whole;
    Rect result = whole;
    if (count > 0) {
        int pick = 0;
        for (int i = 0; i < count; ++i)
            if (monitors[i].primary) {
                pick = i;
                break;
            }
        const XRRMonitorInfo& m = monitors[pick];
        result = {m.x, m.y, m.x + m.width, m.y + m.height};
    }
    XRRFreeMonitors(monitors);
    return result;
}

int X11Platform::ScreenDpi() {
    // The desktop's font resolution, as Xft reads it; 96 when none is set.
    int dpi = 96;
    const char* resources = XResourceManagerString(dpy_);
    if (!resources) return dpi;
    XrmInitialize();
    XrmDatabase db = XrmGetStringDatabase(resources);
    if (!db) return dpi;
    char* type = nullptr;
    XrmValue value{};
    if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
        double d = std::atof(value.addr);
        if (d >= 24 && d <= 960) dpi = int(std::lround(d));
    }
    XrmDestroyDatabase(db);
    return dpi;
}

// ---- the program and the shell ----------------------------------------------------------

std::string X11Platform::ModuleFileName() {
    std::string path(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0) return {};
    path.resize(std::size_t(n));
    return path;
}

std::unique_ptr<SettingsStore> X11Platform::OpenSettings(const std::string& programPath) {
    return posix::OpenSettingsFile(programPath);
}

SettingsDefaults X11Platform::DefaultSettings() { return posix::DefaultSettings(); }

namespace {

// The launcher's answer in the program's words.
Launched LaunchedOf(std::intptr_t code) {
    switch (code) {
        case posix::kShellStarted: return {LaunchOutcome::Started, {}};
        case posix::kShellPending: return {LaunchOutcome::Pending, {}};
        case posix::kShellFileNotFound: return {LaunchOutcome::NotStarted, "not found"};
        case posix::kShellAccessDenied: return {LaunchOutcome::NotStarted, "not a program that may be run"};
        case posix::kShellOutOfResources: return {LaunchOutcome::NotStarted, "no process could be made"};
        case posix::kShellBadFormat: return {LaunchOutcome::NotStarted, "not a program the system can run"};
        case posix::kShellBadParameters: return {LaunchOutcome::NotStarted, "the parameters cannot be split"};
        default: return {LaunchOutcome::NotStarted, "no program opens it"};
    }
}

}  // namespace

Launched X11Platform::Launch(const std::string& file, const std::string& params) {
    XFlush(dpy_);  // the started program should find the screen as the user sees it
    int pending = -1;
    const std::intptr_t result = posix::BeginStartFile(file, params, pending);
    if (result == posix::kShellPending) pendingLaunches_.push_back(pending);
    return LaunchedOf(result);
}

void X11Platform::TakeDecidedLaunches() {
    for (auto it = pendingLaunches_.begin(); it != pendingLaunches_.end();) {
        pollfd pfd{*it, POLLIN, 0};
        if (poll(&pfd, 1, 0) <= 0) {
            ++it;
            continue;
        }
        const int fd = *it;
        it = pendingLaunches_.erase(it);
        ReportLaunchOutcome(LaunchedOf(posix::FinishStart(fd)));
    }
}

void X11Platform::FinishPendingLaunches() {
    // The opener goes on by itself; the program waits for its answer only so long.
    constexpr int kEndWaitMs = 30000;
    const std::int64_t end = NowMs() + kEndWaitMs;
    while (!pendingLaunches_.empty()) {
        const int fd = pendingLaunches_.front();
        pendingLaunches_.erase(pendingLaunches_.begin());
        pollfd pfd{fd, POLLIN, 0};
        const std::int64_t left = std::max<std::int64_t>(0, end - NowMs());
        int ready;
        do {
            ready = poll(&pfd, 1, int(left));
        } while (ready < 0 && errno == EINTR);
        if (ready > 0) {
            ReportLaunchOutcome(LaunchedOf(posix::FinishStart(fd)));
        } else {
            close(fd);
        }
    }
}

// ---- windows --------------------------------------------------------------------------------

std::unique_ptr<vreko::Window> X11Platform::CreateMainWindow(WindowHandler& handler, const WindowDesc& desc) {
    return std::make_unique<X11Window>(*this, handler, desc);
}

void X11Platform::CreateAppWindow(const std::string& title, EventHandler& handler) {
    appHandler_ = &handler;
    if (appWindow_) return;
    const Rect m = PrimaryMonitor();
    XSetWindowAttributes attrs{};
    appWindow_ = XCreateWindow(dpy_, root_, m.left + m.Width() / 2, m.top + m.Height() / 2, 1, 1, 0, CopyFromParent,
                               InputOutput, CopyFromParent, 0, &attrs);

    SetTopLevelProperties(appWindow_, title, "TApplication");
    XFlush(dpy_);
}

void X11Platform::SetTopLevelProperties(Window w, const std::string& title, const char* resClass) {
    // The title as legacy text when it is plain ASCII, and as UTF-8 for current desktops.
    bool ascii = true;
    for (unsigned char c : title) ascii = ascii && c < 0x80;
    const auto* bytes = reinterpret_cast<const unsigned char*>(title.data());
    XChangeProperty(dpy_, w, XA_WM_NAME, ascii ? XA_STRING : atoms_.utf8String, 8, PropModeReplace, bytes,
                    int(title.size()));
    XChangeProperty(dpy_, w, atoms_.netWmName, atoms_.utf8String, 8, PropModeReplace, bytes, int(title.size()));

    std::string resName = "vreko", resClassText = resClass;
    XClassHint cls{};
    cls.res_name = resName.data();
    cls.res_class = resClassText.data();
    XSetClassHint(dpy_, w, &cls);

    // The process id is only meaningful together with the machine it runs on.
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) {
        char* list[] = {host};
        XTextProperty machine{};
        if (XStringListToTextProperty(list, 1, &machine)) {
            XSetWMClientMachine(dpy_, w, &machine);
            XFree(machine.value);
        }
        long pid = long(getpid());
        XChangeProperty(dpy_, w, atoms_.netWmPid, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&pid), 1);
    }
    if (appWindow_) {
        unsigned long leader = appWindow_;
        XChangeProperty(dpy_, w, atoms_.wmClientLeader, XA_WINDOW, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&leader), 1);
    }
}

// ---- caches ---------------------------------------------------------------------------------

::Cursor X11Platform::CursorFor(CursorKind kind) {
    if (auto it = cursors_.find(kind); it != cursors_.end()) return it->second;
    ::Cursor cursor = XCreateFontCursor(dpy_, kind == CursorKind::Hand ? XC_hand2 : XC_left_ptr);
    cursors_[kind] = cursor;
    return cursor;
}

}  // namespace vreko::x11
