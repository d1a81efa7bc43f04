// The X11 backend's connection: opening the display, the error trap, the platform's set-up and
// end, and the atoms it uses.
#include "platform/x11/x11_platform.h"

#include <cstdio>
#include <cstdlib>

#include "platform/native.h"

namespace vreko {

std::unique_ptr<Platform> CreateNativePlatform(std::string& error) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        const char* name = std::getenv("DISPLAY");
        error = std::string("cannot open the X display \"") + (name ? name : "") + "\"";
        return nullptr;
    }
    return std::make_unique<x11::X11Platform>(dpy);
}

namespace x11 {

// ---- X errors ---------------------------------------------------------------------------

namespace {

int g_trapDepth = 0;
int g_trappedErrors = 0;
bool g_errorLogged = false;

// Errors are not fatal: a request on a window that has just gone away, say, must not end the
// program. The first unexpected one is logged; the rest are dropped.
int OnXError(Display* dpy, XErrorEvent* ev) {
    if (g_trapDepth > 0) {
        ++g_trappedErrors;
        return 0;
    }
    if (!g_errorLogged) {
        g_errorLogged = true;
        char text[256] = {};
        XGetErrorText(dpy, ev->error_code, text, sizeof text);
        std::fprintf(stderr, "vreko: X error %s (request %d.%d, resource 0x%lx); later errors are not shown\n", text,
                     ev->request_code, ev->minor_code, ev->resourceid);
    }
    return 0;
}

}  // namespace

ErrorTrap::ErrorTrap(Display* dpy) : dpy_(dpy) {
    XSync(dpy_, False);
    ++g_trapDepth;
    errorsBefore_ = g_trappedErrors;
}

ErrorTrap::~ErrorTrap() {
    XSync(dpy_, False);
    --g_trapDepth;
}

bool ErrorTrap::Failed() {
    XSync(dpy_, False);
    return g_trappedErrors != errorsBefore_;
}

// ---- connection ---------------------------------------------------------------------------

X11Platform::X11Platform(Display* dpy)
    : dpy_(dpy),
      screen_(DefaultScreen(dpy)),
      root_(RootWindow(dpy, screen_)),
      screenFormat_{DefaultVisual(dpy, screen_), DefaultColormap(dpy, screen_), DefaultDepth(dpy, screen_), 0} {
    XSetErrorHandler(OnXError);
    InternAtoms();
    // The launch's id is this program's own: the programs it starts must not take it over.
    if (const char* id = std::getenv("DESKTOP_STARTUP_ID")) startupId_ = id;
    unsetenv("DESKTOP_STARTUP_ID");
    // Held keys then repeat as presses only, without the release X would put between them.
    Bool supported = False;
    detectableAutoRepeat_ = XkbSetDetectableAutoRepeat(dpy_, True, &supported) && supported;
}

X11Platform::~X11Platform() {
    CompleteStartup();  // a copy that ends without a window of its own
    for (auto& [key, font] : fonts_)
        if (font) XftFontClose(dpy_, font);
    FreePixelFormats();
    for (auto& [kind, cursor] : cursors_) XFreeCursor(dpy_, cursor);
    if (appWindow_) XDestroyWindow(dpy_, appWindow_);
    XCloseDisplay(dpy_);
}

void X11Platform::InternAtoms() {
    const char* names[] = {"WM_PROTOCOLS",
                           "WM_DELETE_WINDOW",
                           "WM_CLIENT_LEADER",
                           "_MOTIF_WM_HINTS",
                           "UTF8_STRING",
                           "_NET_WM_NAME",
                           "_NET_WM_STATE",
                           "_NET_WM_STATE_ABOVE",
                           "_NET_WM_WINDOW_TYPE",
                           "_NET_WM_WINDOW_TYPE_NORMAL",
                           "_NET_WM_PID",
                           "_NET_ACTIVE_WINDOW",
                           "_NET_WM_MOVERESIZE",
                           "_NET_SUPPORTED",
                           "_NET_SUPPORTING_WM_CHECK",
                           "_VREKO_BRING_FORWARD",
                           "_NET_WM_USER_TIME",
                           "_NET_WM_STATE_DEMANDS_ATTENTION",
                           "WM_STATE",
                           "_NET_STARTUP_ID",
                           "_NET_STARTUP_INFO_BEGIN",
                           "_NET_STARTUP_INFO",
                           "_VREKO_TIMESTAMP",
                           "_NET_CLIENT_LIST"};
    constexpr int kCount = sizeof names / sizeof names[0];
    Atom a[kCount] = {};
    XInternAtoms(dpy_, const_cast<char**>(names), kCount, False, a);
    atoms_.wmProtocols = a[0];
    atoms_.wmDeleteWindow = a[1];
    atoms_.wmClientLeader = a[2];
    atoms_.motifWmHints = a[3];
    atoms_.utf8String = a[4];
    atoms_.netWmName = a[5];
    atoms_.netWmState = a[6];
    atoms_.netWmStateAbove = a[7];
    atoms_.netWmWindowType = a[8];
    atoms_.netWmWindowTypeNormal = a[9];
    atoms_.netWmPid = a[10];
    atoms_.netActiveWindow = a[11];
    atoms_.netWmMoveResize = a[12];
    atoms_.netSupported = a[13];
    atoms_.netSupportingWmCheck = a[14];
    atoms_.bringForward = a[15];
    atoms_.netWmUserTime = a[16];
    atoms_.netWmStateDemandsAttention = a[17];
    atoms_.wmState = a[18];
    atoms_.netStartupId = a[19];
    atoms_.netStartupInfoBegin = a[20];
    atoms_.netStartupInfo = a[21];
    atoms_.timestamp = a[22];
    atoms_.netClientList = a[23];
}

}  // namespace x11
}  // namespace vreko
