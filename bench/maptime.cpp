// Starts a program and prints the milliseconds from its exec to the first top-level window
// mapped on the screen (the window manager's frame, when one runs), then its process id.
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

static double NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s program [args...]\n", argv[0]);
        return 2;
    }
    Display* d = XOpenDisplay(nullptr);
    if (!d) return 1;
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
    XSync(d, True);
    const double start = NowMs();
    const pid_t pid = fork();
    if (pid == 0) {
        // The program must not hold our output open: callers read it until it closes.
        const int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) dup2(devnull, STDOUT_FILENO);
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    pollfd p{ConnectionNumber(d), POLLIN, 0};
    while (NowMs() - start < 10000) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == MapNotify && e.xmap.event == DefaultRootWindow(d)) {
                std::printf("%.2f %d\n", NowMs() - start, int(pid));
                return 0;
            }
        }
        poll(&p, 1, 100);
    }
    std::printf("timeout %d\n", int(pid));
    return 1;
}
