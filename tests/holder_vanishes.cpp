// Linked into a test build of the program: the first holder of the screen
// that it reads is shut down by the server right after that read, as the
// server shuts down a client that has hung up between any two requests,
// even those of a client that has grabbed it.
#include <X11/Xlib.h>
#include <unistd.h>

extern "C" Window __real_XGetSelectionOwner(Display* display, Atom selection);
extern "C" Window __wrap_XGetSelectionOwner(Display* display, Atom selection);

extern "C" Window __wrap_XGetSelectionOwner(Display* display, Atom selection)
{
    static bool firstRead = true;
    const Window owner = __real_XGetSelectionOwner(display, selection);
    if (firstRead && owner != None) {
        XKillClient(display, owner);
        while (__real_XGetSelectionOwner(display, selection) == owner)
            usleep(1000);
    }
    firstRead = false;
    return owner;
}
