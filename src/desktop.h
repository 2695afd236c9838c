// The program's dealings with the X display beyond what GLUT offers: the
// desktop as found (video mode, monitors), put back by every ending, and a
// look into the event queue.
#pragma once

#include <array>
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
    int primaryX = 0;       // corner of the primary monitor, where several show a
    int primaryY = 0;       // picture on Xorg
};

// One RandR CRTC: the mode it shows (0: off), where, turned how, on which
// outputs; X identifiers as plain numbers.
struct CrtcLayout {
    unsigned long crtc = 0;
    unsigned long mode = 0;
    int x = 0, y = 0;
    int rotation = 0;
    std::vector<unsigned long> outputs;

    bool operator==(const CrtcLayout& other) const
    {
        return crtc == other.crtc && mode == other.mode && x == other.x && y == other.y &&
               rotation == other.rotation && outputs == other.outputs;
    }
    bool operator!=(const CrtcLayout& other) const { return !(*this == other); }
};

// Where the monitors stand, as RandR sees it.
struct MonitorLayout {
    int width = 0, height = 0;      // the screen, pixels
    int widthMm = 0, heightMm = 0;  // and millimetres
    std::vector<CrtcLayout> crtcs;
    unsigned long primary = 0;      // output

    bool operator==(const MonitorLayout& other) const
    {
        return width == other.width && height == other.height && widthMm == other.widthMm &&
               heightMm == other.heightMm && crtcs == other.crtcs && primary == other.primary;
    }
    bool operator!=(const MonitorLayout& other) const { return !(*this == other); }
};

// The desktop as found, in plain numbers that another process can be handed.
struct SavedDesktop {
    std::string display;                  // as for XOpenDisplay; empty: $DISPLAY
    bool modeSaved = false;               // the mode line and viewport below were read
    std::array<unsigned, 11> modeLine{};  // dot clock (kHz), hdisplay, hsyncstart, hsyncend, htotal,
                                          // hskew, vdisplay, vsyncstart, vsyncend, vtotal, flags
    int viewX = 0, viewY = 0;             // the viewport's corner
    bool layoutSaved = false;             // on Xorg, where a mode switch outlives the program
    MonitorLayout layout;                 // the monitors, where layoutSaved
};

// The display freeglut will open: its -display argument, else null for $DISPLAY.
const char* displayArgument(int argc, char** argv);

// Saves the desktop as found: its video mode and viewport and, on Xorg, the
// whole layout of its monitors, or, where the display holds a record of an
// earlier run that still fits the screen (record.h), the desktop that run
// found. From then on SIGTERM, SIGINT and SIGHUP end the program with all of
// it put back, and so does exit, after freeglut has switched its mode back;
// before, while it is read, they end the program at once. Call early in
// main, once the screen is claimed (claim.h), before any thread exists; the
// arguments name the display as for glutInit. A signal ignored at start
// stays ignored. found receives what was saved.
DesktopMode saveDesktop(int argc, char** argv, SavedDesktop& found);

// Records the desktop as found on the display, with what the screen shows
// now, and renews the record whenever the screen changes while the program
// runs. Only on Xorg. Call once the mode is entered, while the screen is
// claimed.
void recordDesktop();

// Puts back, over fresh connections, whatever of the saved desktop differs
// now: the mode line, the viewport, then the monitors' layout; then drops
// the record. X errors are left to the error handler in place.
void putDesktopBack(const SavedDesktop& saved);

// A mode line's refresh rate as freeglut reckons it, in whole hertz; 0 for
// a line without totals. dotClock in kHz.
int refreshRate(unsigned dotClock, int htotal, int vtotal);

// From the exit on, X errors, such as a refused switch back of the mode,
// no longer turn the ending into a failure. Call after glutInit, so that it
// runs before freeglut's own exit handler switches the mode back.
void excuseXErrorsAtExit();

// True when another pointer motion already waits in the X event queue ahead
// of any button or key event: a frame drawn now would be drawn over at once.
bool laterMotionQueued();
