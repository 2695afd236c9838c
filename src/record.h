// The desktop as found, kept on the display itself while the program runs
// on Xorg, where a mode outlives the program: a copy that dies together with
// its watcher, or that a new copy outruns, leaves the next copy the desktop
// it found. Whoever puts the desktop back drops the record.
#pragma once

#include <iosfwd>
#include <string>

#include "desktop.h"

typedef struct _XDisplay Display;

// The desktop's numbers, all but the display's name, as one line of text:
// the watcher is handed them, and the record keeps them.
std::string desktopText(const SavedDesktop& desktop);

// Reads one line of desktopText into desktop, whose display stays; false
// for anything but a whole line.
bool readDesktopText(std::istream& text, SavedDesktop& desktop);

// Where the display holds a record whose picture of the screen is what the
// screen shows now (found), makes the desktop that record found the one
// found. A record that the user's own choice of mode or layout has overtaken
// is dropped; so, with a line on standard error, is one that cannot be read
// or names a mode, monitor or output that is gone. A record taken stays
// for this run to renew.
void takeRecord(Display* display, SavedDesktop& found);

// Records the desktop as found and what the screen shows now.
void keepRecord(Display* display, const SavedDesktop& found, const SavedDesktop& shown);

void forgetRecord(Display* display);
