// Taking the screen: the video modes worth trying, the first of them the
// display can switch to, and a window that covers what the monitor then
// shows. GLUT's game mode does the switch wherever the library can; where it
// cannot (freeglut built without a mode-switching extension, as on most
// architectures but x86), the program switches through the video-mode
// extension itself and makes the window as game mode makes it.
#pragma once

#include <GL/gl.h>

#include <string>
#include <vector>

#include "desktop.h"

// A line of the display's mode list, as far as choosing among them goes.
struct ModeSize {
    int width;    // pixels
    int height;   // pixels
    int refresh;  // hertz, as refreshRate reckons it
};

// The game-mode strings to try, best first: the four fixed sizes, and ahead
// of them the desktop's own size under XWayland, where an emulated mode is
// only scaled to the real output and would distort the square, and on Xorg
// with several monitors, where a real switch would clone one mode onto all.
std::vector<std::string> modeCandidates(const DesktopMode& desktop);

// The line that game mode takes for a candidate ("WxH:D@R", or "WxH:D" for
// the rate currentRefresh shown now): the first of its size and rate, else
// the first of its size; -1 where none.
int pickModeLine(const std::string& candidate, const std::vector<ModeSize>& lines, int currentRefresh);

// Chooses the first candidate that can be switched to: through game mode,
// or through the extension on display (empty: $DISPLAY) where game mode can
// switch to none of them. False where neither can.
bool chooseMode(const std::vector<std::string>& candidates, const std::string& display);

// GLUT_GAME_MODE_WIDTH, _HEIGHT, _PIXEL_DEPTH or _REFRESH_RATE of the
// chosen mode, as glutGameModeGet gives them.
int chosenModeGet(GLenum query);

// Switches to the chosen mode and makes its window, keyboard and pointer
// grabbed, the size of the mode where the monitor shows it: at the corner
// of the viewport, of the primary monitor among several, or under XWayland
// of the output whose modes are emulated.
void enterChosenMode(const DesktopMode& desktop);
