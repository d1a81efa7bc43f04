// The least an Xlib program does to show a window of Vreko's size: open the display, create and
// map one 392 by 166 window, then wait for events until it is killed. The start-up benchmark
// measures it beside the program as the floor under its start, memory and idle cost.
#include <X11/Xlib.h>

int main() {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return 1;
    const int screen = DefaultScreen(d);
    const Window w =
        XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0, 392, 166, 0, BlackPixel(d, screen), BlackPixel(d, screen));
    XSelectInput(d, w, ExposureMask);
    XMapWindow(d, w);
    for (;;) {
        XEvent e;
        XNextEvent(d, &e);
    }
}
