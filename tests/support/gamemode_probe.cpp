// Reports whether game mode strings on $DISPLAY can be switched to, and
// switches, the way the program does: through freeglut's game mode, or the
// program's own switch where the library has none. For tests that must not
// call glutInit in their own process.
//   gamemode_probe MODE...        one "MODE possible=0|1" line per mode
//   gamemode_probe --enter MODE   enters the mode and reports the result
#include <GL/freeglut.h>
#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "desktop.h"
#include "fullscreen.h"

namespace {

bool shown = false;

void onDisplay() {
    glClear(GL_COLOR_BUFFER_BIT);
    glutSwapBuffers();
}

void onWindowStatus(int status) {
    if (status != GLUT_HIDDEN) shown = true;
}

// The mode line the screen shows, as the server reports it: which way the
// switch went does not matter.
struct ScreenMode {
    int width = 0, height = 0, refresh = 0;
};

ScreenMode screenMode() {
    ScreenMode shown;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return shown;
    int dotClock = 0;
    XF86VidModeModeLine line{};
    if (XF86VidModeGetModeLine(display, DefaultScreen(display), &dotClock, &line)) {
        shown = {line.hdisplay, line.vdisplay, refreshRate(unsigned(dotClock), line.htotal, line.vtotal)};
        XFree(line.c_private);
    }
    XCloseDisplay(display);
    return shown;
}

int enter(const char* mode) {
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    if (!chooseMode({mode}, "")) {
        std::printf("cannot enter %s\n", mode);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    enterChosenMode(DesktopMode{});
    glutDisplayFunc(onDisplay);
    glutWindowStatusFunc(onWindowStatus);
    const auto deadline = start + std::chrono::seconds(10);
    while (!shown && std::chrono::steady_clock::now() < deadline) glutMainLoopEvent();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    const ScreenMode screen = screenMode();
    std::printf("entered %s shown=%d width=%d height=%d screen=%dx%d@%d ms=%lld\n", mode, shown ? 1 : 0,
                glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT), screen.width, screen.height,
                screen.refresh, static_cast<long long>(elapsed.count()));
    return shown ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--enter") == 0) return enter(argv[2]);
    for (int i = 1; i < argc; ++i) {
        std::printf("%s possible=%d\n", argv[i], chooseMode({argv[i]}, "") ? 1 : 0);
    }
    return argc > 1 ? 0 : 1;
}
