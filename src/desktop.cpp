#include "desktop.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/extensions/XI2.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/xf86vmode.h>
#include <pthread.h>

#include <csignal>
#include <cstring>
#include <initializer_list>
#include <thread>

// ---- the desktop's video mode --------------------------------------------

// The display freeglut will open: its -display argument, else $DISPLAY.
static const char* displayName(int argc, char** argv)
{
    for (int k = 1; k + 1 < argc; ++k)
        if (std::strcmp(argv[k], "-display") == 0)
            return argv[k + 1];
    return nullptr;
}

// Newer XWayland servers announce an extension of their own; every version
// names its RandR outputs XWAYLAND0, XWAYLAND1 and so on.
static bool isXWayland(Display* display)
{
    int opcode = 0, eventBase = 0, errorBase = 0;
    if (XQueryExtension(display, "XWAYLAND", &opcode, &eventBase, &errorBase))
        return true;
    if (!XRRQueryExtension(display, &eventBase, &errorBase))
        return false;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
    if (resources == nullptr)
        return false;
    bool found = false;
    for (int k = 0; k < resources->noutput && !found; ++k) {
        XRROutputInfo* output = XRRGetOutputInfo(display, resources, resources->outputs[k]);
        if (output != nullptr) {
            found = std::strncmp(output->name, "XWAYLAND", 8) == 0;
            XRRFreeOutputInfo(output);
        }
    }
    XRRFreeScreenResources(resources);
    return found;
}

// Runs on a thread of its own: a signal handler could do none of this safely.
static void restoreModeWhenSignalled(sigset_t signals, Display* display, XF86VidModeModeInfo mode,
                                     int viewX, int viewY)
{
    int signal = 0;
    while (sigwait(&signals, &signal) != 0) {
    }
    const int screen = DefaultScreen(display);
    XF86VidModeSwitchToMode(display, screen, &mode);
    XF86VidModeSetViewPort(display, screen, viewX, viewY);
    XSync(display, False);
    // Die of the signal itself, so that the shell sees why.
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    std::signal(signal, SIG_DFL);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
}

DesktopMode restoreDesktopModeOnSignals(int argc, char** argv)
{
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction current;
        // One ignored at start, as for a background job or under nohup, stays so.
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            sigaddset(&signals, signal);
    }
    // Blocked before GLUT or the GL driver start threads, which inherit the
    // mask: a thread with them open would die of them and restore nothing.
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &signals, &previous);

    Display* display = XOpenDisplay(displayName(argc, argv));
    int eventBase = 0, errorBase = 0;
    int dotClock = 0, viewX = 0, viewY = 0;
    XF86VidModeModeLine line{};
    const bool saved = display != nullptr && XF86VidModeQueryExtension(display, &eventBase, &errorBase) &&
                       XF86VidModeGetModeLine(display, DefaultScreen(display), &dotClock, &line) &&
                       XF86VidModeGetViewPort(display, DefaultScreen(display), &viewX, &viewY);
    if (!saved) {
        // No mode can be switched here: the signals keep their plain effect.
        if (display != nullptr)
            XCloseDisplay(display);
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        return {};
    }
    const DesktopMode desktop{line.hdisplay, line.vdisplay, isXWayland(display)};
    const XF86VidModeModeInfo mode{unsigned(dotClock), line.hdisplay, line.hsyncstart, line.hsyncend,
                                   line.htotal,        line.hskew,    line.vdisplay,   line.vsyncstart,
                                   line.vsyncend,      line.vtotal,   line.flags,      line.privsize,
                                   line.c_private};
    std::thread(restoreModeWhenSignalled, signals, display, mode, viewX, viewY).detach();
    return desktop;
}

std::vector<std::string> modeCandidates(const DesktopMode& desktop)
{
    std::vector<std::string> candidates;
    if (desktop.xwayland && desktop.width > 0 && desktop.height > 0)
        candidates.push_back(std::to_string(desktop.width) + "x" + std::to_string(desktop.height) + ":32");
    for (const char* fixed : {"1280x1024:32", "1152x864:32", "1024x768:32", "800x600:32"})
        if (candidates.empty() || candidates.front() != fixed)
            candidates.push_back(fixed);
    return candidates;
}

// ---- event queue ---------------------------------------------------------

namespace {

struct QueueScan {
    int xinputOpcode;   // major opcode of XInput, whose events come as cookies
    bool motionAhead;   // a motion came before any button or key
    bool done;          // the first motion, button or key has been seen
};

// Sees every queued event in order and never takes one out.
Bool scanQueuedEvent(Display*, XEvent* event, XPointer argument)
{
    auto& scan = *reinterpret_cast<QueueScan*>(argument);
    if (scan.done)
        return False;
    // freeglut takes pointer and keys through XInput2 where the server has it,
    // so the same events may come in either form.
    bool motion = event->type == MotionNotify;
    bool buttonOrKey = event->type == ButtonPress || event->type == ButtonRelease ||
                       event->type == KeyPress || event->type == KeyRelease;
    if (event->type == GenericEvent && event->xcookie.extension == scan.xinputOpcode) {
        const int kind = event->xcookie.evtype;
        motion = kind == XI_Motion;
        buttonOrKey = kind == XI_ButtonPress || kind == XI_ButtonRelease || kind == XI_KeyPress ||
                      kind == XI_KeyRelease;
    }
    scan.motionAhead = motion;
    scan.done = motion || buttonOrKey;
    return False;
}

}  // namespace

bool laterMotionQueued()
{
    Display* display = glXGetCurrentDisplay();
    if (display == nullptr)
        return false;
    static Display* queried = nullptr;
    static int xinputOpcode = -1;
    if (display != queried) {
        int firstEvent = 0, firstError = 0;
        if (!XQueryExtension(display, "XInputExtension", &xinputOpcode, &firstEvent, &firstError))
            xinputOpcode = -1;
        queried = display;
    }
    QueueScan scan{xinputOpcode, false, false};
    XEvent unused;
    // Reads what has arrived; the predicate never matches, so nothing is taken.
    XCheckIfEvent(display, &unused, scanQueuedEvent, reinterpret_cast<XPointer>(&scan));
    return scan.motionAhead;
}
