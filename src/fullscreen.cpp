#include "fullscreen.h"

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/xf86vmode.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// The mode the program switches to itself, where game mode can switch to none.
struct OwnMode {
    bool chosen = false;
    std::string display;          // as for XOpenDisplay; empty: $DISPLAY
    int width = 0, height = 0;    // pixels
    int depth = 0;                // bits per pixel, as the candidate asks
    int refresh = 0;              // hertz
    XF86VidModeModeInfo line{};   // the mode line to switch to
};

OwnMode ownMode;

// Set while GLUT makes the program's own full-screen window.
bool unmanagedNextMap = false;

// A line of the display's mode list, as far as choosing among them goes.
struct ModeSize {
    int width;    // pixels
    int height;   // pixels
    int refresh;  // hertz, as refreshRate reckons it
};

}  // namespace

std::vector<std::string> modeCandidates(const DesktopMode& desktop)
{
    std::vector<std::string> candidates;
    // Under XWayland any other mode is only scaled to the output; on Xorg with
    // several monitors a real switch would clone it onto all of them.
    const bool ownSizeFirst = desktop.xwayland || (desktop.monitors > 1 && desktop.refresh > 0);
    if (ownSizeFirst && desktop.width > 0 && desktop.height > 0) {
        std::string own = std::to_string(desktop.width) + "x" + std::to_string(desktop.height) + ":32";
        if (desktop.refresh > 0)
            own += "@" + std::to_string(desktop.refresh);
        candidates.push_back(own);
    }
    for (const char* fixed : {"1280x1024:32", "1152x864:32", "1024x768:32", "800x600:32"})
        if (candidates.empty() || candidates.front() != fixed)
            candidates.push_back(fixed);
    return candidates;
}

// ---- the choice ------------------------------------------------------------

// The line that game mode takes for a candidate ("WxH:D@R", or "WxH:D" for
// the rate currentRefresh shown now): the first of its size and rate, else
// the first of its size; -1 where none.
static int pickModeLine(const std::string& candidate, const std::vector<ModeSize>& lines, int currentRefresh)
{
    int width = 0, height = 0, depth = 0, refresh = currentRefresh;
    if (std::sscanf(candidate.c_str(), "%dx%d:%d@%d", &width, &height, &depth, &refresh) < 3)
        return -1;
    int sameSize = -1;
    for (int k = 0; k < int(lines.size()); ++k) {
        if (lines[k].width != width || lines[k].height != height)
            continue;
        if (lines[k].refresh == refresh)
            return k;
        if (sameSize < 0)
            sameSize = k;
    }
    return sameSize;
}

// Chooses among the display's own mode lines as game mode would have.
static void chooseOwnMode(const std::vector<std::string>& candidates, const std::string& name)
{
    Display* display = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (display == nullptr)
        return;
    const int screen = DefaultScreen(display);
    int eventBase = 0, errorBase = 0, dotClock = 0, count = 0;
    XF86VidModeModeLine current{};
    XF86VidModeModeInfo** modes = nullptr;
    if (XF86VidModeQueryExtension(display, &eventBase, &errorBase) &&
        XF86VidModeGetModeLine(display, screen, &dotClock, &current)) {
        XFree(current.c_private);
        if (XF86VidModeGetAllModeLines(display, screen, &count, &modes)) {
            std::vector<ModeSize> lines;
            for (int k = 0; k < count; ++k)
                lines.push_back({modes[k]->hdisplay, modes[k]->vdisplay,
                                 refreshRate(modes[k]->dotclock, modes[k]->htotal, modes[k]->vtotal)});
            // A candidate without a rate asks for the one shown now.
            const int currentRefresh = refreshRate(unsigned(dotClock), current.htotal, current.vtotal);
            for (const std::string& candidate : candidates) {
                const int k = pickModeLine(candidate, lines, currentRefresh);
                if (k < 0)
                    continue;
                ownMode = {true, name, lines[k].width, lines[k].height, 0, lines[k].refresh, *modes[k]};
                std::sscanf(candidate.c_str(), "%*dx%*d:%d", &ownMode.depth);
                ownMode.line.privsize = 0;
                ownMode.line.c_private = nullptr;
                break;
            }
            XFree(modes);
        }
    }
    XCloseDisplay(display);
}

bool chooseMode(const std::vector<std::string>& candidates, const std::string& display)
{
    ownMode = {};
    for (const std::string& candidate : candidates) {
        glutGameModeString(candidate.c_str());
        if (glutGameModeGet(GLUT_GAME_MODE_POSSIBLE))
            return true;
    }
    chooseOwnMode(candidates, display);
    return ownMode.chosen;
}

int chosenModeGet(GLenum query)
{
    if (!ownMode.chosen)
        return glutGameModeGet(query);
    switch (query) {
    case GLUT_GAME_MODE_WIDTH:
        return ownMode.width;
    case GLUT_GAME_MODE_HEIGHT:
        return ownMode.height;
    case GLUT_GAME_MODE_PIXEL_DEPTH:
        return ownMode.depth;
    case GLUT_GAME_MODE_REFRESH_RATE:
        return ownMode.refresh;
    default:
        return 0;
    }
}

// ---- the switch and the window ---------------------------------------------

// Polls for up to two seconds; the server answers within a few
// milliseconds, or another client's grab is let go.
static bool waitForWindow(const std::function<bool()>& condition)
{
    for (int k = 0; k < 2000; ++k) {
        if (condition())
            return true;
        usleep(1000);
    }
    return false;
}

// GLUT maps a window the moment it makes it. The program's own full-screen
// window is override-redirect by then, as game mode's is: a window manager
// that has once managed a window may still act on it after it has been
// taken back, late and out of order (sway has kept the keyboard from it).
extern "C" int XMapWindow(Display* display, Window window)
{
    using MapWindow = int (*)(Display*, Window);
    static const auto mapWindow = reinterpret_cast<MapWindow>(dlsym(RTLD_NEXT, "XMapWindow"));
    if (unmanagedNextMap) {
        unmanagedNextMap = false;
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        XChangeWindowAttributes(display, window, CWOverrideRedirect, &attributes);
    }
    return mapWindow(display, window);
}

// Does with GLUT's window, never handed to a window manager, what game mode
// does with its own: above everything, with the pointer confined to it and
// the keyboard its own.
static void takeWindowOver(int x, int y, int width, int height)
{
    Display* display = glXGetCurrentDisplay();
    const Window window = glXGetCurrentDrawable();
    XMoveResizeWindow(display, window, x, y, unsigned(width), unsigned(height));
    XRaiseWindow(display, window);
    waitForWindow([&] {
        XWindowAttributes shown{};
        return XGetWindowAttributes(display, window, &shown) && shown.map_state == IsViewable;
    });
    waitForWindow([&] {
        return XGrabPointer(display, window, True, ButtonPressMask | ButtonReleaseMask | ButtonMotionMask |
                                                       PointerMotionMask,
                            GrabModeAsync, GrabModeAsync, window, None, CurrentTime) == GrabSuccess;
    });
    XSetInputFocus(display, window, RevertToNone, CurrentTime);
    XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, x + width / 2, y + height / 2);
    waitForWindow([&] {
        return XGrabKeyboard(display, window, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
    });
    XSync(display, False);
}

static void enterOwnMode(int x, int y)
{
    Display* display = XOpenDisplay(ownMode.display.empty() ? nullptr : ownMode.display.c_str());
    if (display != nullptr) {
        const int screen = DefaultScreen(display);
        XF86VidModeSwitchToMode(display, screen, &ownMode.line);
        XF86VidModeSetViewPort(display, screen, 0, 0);
        XCloseDisplay(display);
    }
    glutInitWindowPosition(x, y);
    glutInitWindowSize(ownMode.width, ownMode.height);
    unmanagedNextMap = true;
    glutCreateWindow("Kantenwerk");
    unmanagedNextMap = false;
    takeWindowOver(x, y, ownMode.width, ownMode.height);
}

void enterChosenMode(const DesktopMode& desktop)
{
    int x = 0, y = 0;
    if (desktop.xwayland) {
        x = desktop.viewX;
        y = desktop.viewY;
    } else if (desktop.monitors > 1) {
        x = desktop.primaryX;
        y = desktop.primaryY;
    }
    if (ownMode.chosen) {
        enterOwnMode(x, y);
    } else {
        glutEnterGameMode();
        // Where no window manager keeps it to the mode, freeglut stretches
        // its window over the whole screen, monitors beside included, once
        // the main loop runs; a size asked for now is the one it keeps.
        if (!desktop.xwayland)
            glutReshapeWindow(glutGameModeGet(GLUT_GAME_MODE_WIDTH), glutGameModeGet(GLUT_GAME_MODE_HEIGHT));
        if (x != 0 || y != 0)
            glutPositionWindow(x, y);
    }
    // The GL driver registers exit handlers of its own when the window's
    // context is made, after freeglut's; riscv64's llvmpipe frees its shader
    // compiler in one, and freeglut's teardown after it then crashes. Its
    // teardown registered now runs first, and errors are excused before it.
    std::atexit(glutExit);
    excuseXErrorsAtExit();
}
