// One copy of the program per X screen, claimed as window managers claim a
// screen: through a selection that the server hands back whenever the
// owner's connection closes, however its process ended, and that any user,
// host or session sharing the display sees.
#pragma once

#include <string>

// The program's claim on its screen.
struct ScreenClaim {
    bool anotherRuns = false;  // another copy holds the screen; its window has been raised
    std::string where;         // the display and screen, as ":0.0"
    std::string token;         // names this copy's claim alone, while it holds it
};

// Names process pid, started start clock ticks after boot, as a claim's
// token: "pid=4711 start=98765 boot=... ns=... host=...". A number that
// another process has taken since, or one of another host, boot or PID
// namespace, does not pass for the process named.
std::string processToken(long pid, const std::string& start);

// Claims the default screen of display (null: $DISPLAY) for the program's
// life. A watcher that is putting the desktop back there is waited for.
// Where the display cannot be opened, nothing is claimed and nobody else
// runs either.
ScreenClaim claimScreen(const char* display);

// Names the program's full-screen window on its claim, so that a copy
// started later can raise it.
void showOnClaim(unsigned long window);

// For the watcher: claims the screen to put the desktop back, unless a copy
// other than the program it watched (whose claim's token was program) holds
// it. True while the claim lasts, until the process ends.
bool claimToRestore(const std::string& display, const std::string& program);
