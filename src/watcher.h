// A small process, made at start, that outlives the program and puts the
// desktop back however the program ended: kill -9 and crashes too.
#pragma once

#include <sys/types.h>

#include <string>

#include "desktop.h"

// The program's hold on its watcher.
struct Watcher {
    int line = -1;  // the program's end of the line to it, open while the program lives
    pid_t pid = -1; // a child of the program until the program ends, then init's
};

// Makes the watcher; line stays -1 where none could be made. Call first in
// main, before any thread and any X connection.
Watcher startWatcher();

// Hands the watcher the desktop as found, which it puts back where it still
// differs once the program has ended, unless another copy holds the screen
// by then; claim is the program's token (claim.h). With nothing to
// put back (no video mode, or XWayland, where the emulated mode ends with
// the program) the watcher leaves at once.
void watchDesktop(Watcher watcher, const SavedDesktop& found, const std::string& claim);
