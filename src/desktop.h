// The program's dealings with the X display beyond what GLUT offers: the
// desktop as found (video mode, monitors), put back by every ending, the
// video modes worth trying there, and a look into the event queue.
#pragma once

#include <string>
#include <vector>

// The display's video mode as found at start.
struct DesktopMode {
    int width = 0;          // pixels; 0 where no mode could be read
    int height = 0;         // pixels
    bool xwayland = false;  // the X server is XWayland, which only emulates mode switches
    int refresh = 0;        // hertz, as freeglut counts them; 0 where a game mode of this size
                            // and rate would not switch to this very mode line
    int monitors = 0;       // RandR CRTCs that show a picture
    int viewX = 0;          // corner of the video-mode viewport: under XWayland, of the
    int viewY = 0;          // one output whose modes it emulates
};

// Saves the desktop as found: its video mode and viewport and, on Xorg, the
// whole layout of its monitors. From then on SIGTERM, SIGINT and SIGHUP end
// the program with all of it put back, and so does exit, after freeglut has
// switched its mode back. Call first in main, before any thread exists; the
// arguments name the display as for glutInit. A signal ignored at start
// stays ignored.
DesktopMode saveDesktop(int argc, char** argv);

// The game-mode strings to try, best first: the four fixed sizes, and ahead
// of them the desktop's own size under XWayland, where an emulated mode is
// only scaled to the real output and would distort the square, and on Xorg
// with several monitors, where a real switch would clone one mode onto all.
std::vector<std::string> modeCandidates(const DesktopMode& desktop);

// Call right after glutEnterGameMode. Under XWayland it puts the window on
// the output whose mode it took; from here on an exit's X errors, such as a
// refused switch back, no longer turn the ending into a failure.
void settleGameMode(const DesktopMode& desktop);

// True when another pointer motion already waits in the X event queue ahead
// of any button or key event: a frame drawn now would be drawn over at once.
bool laterMotionQueued();
