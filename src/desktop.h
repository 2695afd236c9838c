// The program's dealings with the X display beyond what GLUT offers: the
// desktop's own video mode, put back when a signal ends the program, the
// video modes worth trying there, and a look into the event queue.
#pragma once

#include <string>
#include <vector>

// The display's video mode as found at start.
struct DesktopMode {
    int width = 0;          // pixels; 0 where no mode could be read
    int height = 0;         // pixels
    bool xwayland = false;  // the X server is XWayland, which only emulates mode switches
};

// Makes SIGTERM, SIGINT and SIGHUP end the program with the desktop's video
// mode and viewport put back, as the normal exit does, and returns that mode.
// Call first in main, before any thread exists; the arguments name the
// display as for glutInit. A signal ignored at start stays ignored.
DesktopMode restoreDesktopModeOnSignals(int argc, char** argv);

// The game-mode strings to try, best first: the four fixed sizes, and under
// XWayland the desktop's own size ahead of them, since an emulated mode is
// only scaled to the real output and would distort the square.
std::vector<std::string> modeCandidates(const DesktopMode& desktop);

// True when another pointer motion already waits in the X event queue ahead
// of any button or key event: a frame drawn now would be drawn over at once.
bool laterMotionQueued();
