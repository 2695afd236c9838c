// A small process, made at start, that outlives the program and puts the
// desktop back however the program ended: kill -9 and crashes too.
#pragma once

#include "desktop.h"

// Makes the watcher and returns the program's end of the line to it, to be
// held open for as long as the program lives; -1 where none could be made.
// Call first in main, before any thread and any X connection.
int startWatcher();

// Hands the watcher the desktop as found, which it puts back where it still
// differs once the program has ended. With nothing to put back (no video
// mode, or XWayland, where the emulated mode ends with the program) the
// watcher leaves at once.
void watchDesktop(int watcher, const SavedDesktop& found);
