// Program entry. The desktop window is built on the native backend.
#include <cstdio>

int main() {
    std::puts("Vreko: the desktop window is not built yet; run the tests to exercise the timer.");
    return 0;
}
