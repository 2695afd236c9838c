#include "desktop.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/extensions/XI2.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/xf86vmode.h>
#include <X11/extensions/xf86vmproto.h>
#include <pthread.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <thread>

// ---- the desktop as found ------------------------------------------------

namespace {

SavedDesktop asFound;             // complete once saveDesktop has read it all
std::mutex puttingBack;           // guards asFound; one ending at a time puts the desktop back
std::atomic<bool> ending{false};  // an ending has begun: X errors no longer end the program
int vidModeOpcode = -1;           // major opcode of the video-mode extension
XErrorHandler previousErrorHandler;

}  // namespace

// The display freeglut will open: its -display argument, else $DISPLAY.
static const char* displayArgument(int argc, char** argv)
{
    for (int k = 1; k + 1 < argc; ++k)
        if (std::strcmp(argv[k], "-display") == 0)
            return argv[k + 1];
    return nullptr;
}

// Newer XWayland servers announce an extension of their own; older ones
// name their RandR outputs XWAYLAND0, XWAYLAND1 and so on.
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

// The screen's size is read from the connection's set-up, so only a fresh
// connection gives the present one.
static MonitorLayout readLayout(Display* display)
{
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    MonitorLayout layout{DisplayWidth(display, screen), DisplayHeight(display, screen),
                         DisplayWidthMM(display, screen), DisplayHeightMM(display, screen), {}, None};
    int eventBase = 0, errorBase = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase))
        return layout;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
    if (resources == nullptr)
        return layout;
    for (int k = 0; k < resources->ncrtc; ++k) {
        XRRCrtcInfo* info = XRRGetCrtcInfo(display, resources, resources->crtcs[k]);
        if (info == nullptr)
            continue;
        layout.crtcs.push_back({resources->crtcs[k], info->mode, info->x, info->y, info->rotation,
                                std::vector<RROutput>(info->outputs, info->outputs + info->noutput)});
        XRRFreeCrtcInfo(info);
    }
    XRRFreeScreenResources(resources);
    layout.primary = XRRGetOutputPrimary(display, root);
    return layout;
}

static const CrtcLayout* findCrtc(const MonitorLayout& layout, RRCrtc crtc)
{
    for (const CrtcLayout& entry : layout.crtcs)
        if (entry.crtc == crtc)
            return &entry;
    return nullptr;
}

// Puts back every part of the saved layout that differs now, in the order
// that keeps each request valid: monitors that move are switched off, the
// screen takes its size, the monitors come back. A refusal (a monitor
// unplugged meanwhile) leaves that part as it is and the rest is still done.
static void putLayoutBack(const char* displayName, const MonitorLayout& saved)
{
    Display* display = XOpenDisplay(displayName);
    if (display == nullptr)
        return;
    const MonitorLayout now = readLayout(display);
    const Window root = DefaultRootWindow(display);
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
    if (resources != nullptr) {
        for (const CrtcLayout& current : now.crtcs) {
            const CrtcLayout* wanted = findCrtc(saved, current.crtc);
            if (wanted != nullptr && *wanted != current && current.mode != None)
                XRRSetCrtcConfig(display, resources, current.crtc, CurrentTime, 0, 0, None, RR_Rotate_0, nullptr, 0);
        }
        if (now.width != saved.width || now.height != saved.height || now.widthMm != saved.widthMm ||
            now.heightMm != saved.heightMm)
            XRRSetScreenSize(display, root, saved.width, saved.height, saved.widthMm, saved.heightMm);
        for (const CrtcLayout& wanted : saved.crtcs) {
            const CrtcLayout* current = findCrtc(now, wanted.crtc);
            if (current != nullptr && *current != wanted && wanted.mode != None)
                XRRSetCrtcConfig(display, resources, wanted.crtc, CurrentTime, wanted.x, wanted.y, wanted.mode,
                                 Rotation(wanted.rotation), const_cast<RROutput*>(wanted.outputs.data()),
                                 int(wanted.outputs.size()));
        }
        if (now.primary != saved.primary)
            XRRSetOutputPrimary(display, root, saved.primary);
        XRRFreeScreenResources(resources);
    }
    XCloseDisplay(display);
}

// Once an ending has begun, an X error is only one more thing that could not
// be put back. Before it, the one error let pass is the refusal of the
// viewport that freeglut asks for on entering game mode: XWayland emulates
// modes on one output and accepts only that output's corner.
static int handleXError(Display* display, XErrorEvent* error)
{
    if (ending)
        return 0;
    if (error->request_code == vidModeOpcode && error->minor_code == X_XF86VidModeSetViewPort &&
        error->error_code == BadValue)
        return 0;
    return previousErrorHandler(display, error);
}

// The mode line's numbers in the order of SavedDesktop::modeLine.
static std::array<unsigned, 11> modeLineNumbers(int dotClock, const XF86VidModeModeLine& line)
{
    return {unsigned(dotClock), line.hdisplay,   line.hsyncstart, line.hsyncend, line.htotal, line.hskew,
            line.vdisplay,      line.vsyncstart, line.vsyncend,   line.vtotal,   line.flags};
}

static XF86VidModeModeInfo modeInfo(const std::array<unsigned, 11>& m)
{
    using Short = unsigned short;
    return {m[0],        Short(m[1]), Short(m[2]), Short(m[3]), Short(m[4]), Short(m[5]), Short(m[6]),
            Short(m[7]), Short(m[8]), Short(m[9]), m[10],       0,           nullptr};
}

static const char* displayName(const SavedDesktop& saved)
{
    return saved.display.empty() ? nullptr : saved.display.c_str();
}

// Switches back to the saved mode line where another is shown, then sets the
// viewport where it moved.
static void putModeBack(const SavedDesktop& saved)
{
    Display* display = XOpenDisplay(displayName(saved));
    if (display == nullptr)
        return;
    const int screen = DefaultScreen(display);
    int dotClock = 0, viewX = 0, viewY = 0;
    XF86VidModeModeLine line{};
    const bool shown = XF86VidModeGetModeLine(display, screen, &dotClock, &line);
    if (shown)
        XFree(line.c_private);
    if (!shown || modeLineNumbers(dotClock, line) != saved.modeLine) {
        XF86VidModeModeInfo mode = modeInfo(saved.modeLine);
        XF86VidModeSwitchToMode(display, screen, &mode);
    }
    if (!XF86VidModeGetViewPort(display, screen, &viewX, &viewY) || viewX != saved.viewX || viewY != saved.viewY)
        XF86VidModeSetViewPort(display, screen, saved.viewX, saved.viewY);
    XCloseDisplay(display);
}

void putDesktopBack(const SavedDesktop& saved)
{
    if (saved.modeSaved)
        putModeBack(saved);
    if (saved.layoutSaved)
        putLayoutBack(displayName(saved), saved.layout);
}

// Runs after freeglut's own restore at exit, so that nothing changes the
// layout afterwards; it also puts back a mode that the program switched to
// itself, which freeglut knows nothing of.
static void putDesktopBackAtExit()
{
    ending = true;
    const std::lock_guard<std::mutex> lock(puttingBack);
    putDesktopBack(asFound);
}

// Runs on a thread of its own: a signal handler could do none of this safely.
// Until the desktop has been read whole, nothing has been changed either.
static void restoreWhenSignalled(sigset_t signals)
{
    int signal = 0;
    while (sigwait(&signals, &signal) != 0) {
    }
    ending = true;
    {
        const std::lock_guard<std::mutex> lock(puttingBack);
        putDesktopBack(asFound);
        // Die of the signal itself, so that the shell sees why; the lock is
        // held until then so that an exit under way puts nothing back twice.
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, signal);
        std::signal(signal, SIG_DFL);
        pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
        raise(signal);
    }
}

int refreshRate(unsigned dotClock, int htotal, int vtotal)
{
    return htotal > 0 && vtotal > 0 ? int(dotClock * 1000.0 / (double(htotal) * vtotal)) : 0;
}

// The refresh rate that makes freeglut's game mode of the current size pick
// the current mode line itself, which the server then switches to without
// touching any monitor; 0 where the first line of that size and rate is
// another one.
static int currentLineRefresh(Display* display, int dotClock, const XF86VidModeModeLine& line)
{
    const int refresh = refreshRate(unsigned(dotClock), line.htotal, line.vtotal);
    int count = 0;
    XF86VidModeModeInfo** modes = nullptr;
    if (refresh == 0 || !XF86VidModeGetAllModeLines(display, DefaultScreen(display), &count, &modes))
        return 0;
    int found = 0;
    for (int k = 0; k < count; ++k) {
        const XF86VidModeModeInfo& m = *modes[k];
        if (m.hdisplay != line.hdisplay || m.vdisplay != line.vdisplay ||
            refreshRate(m.dotclock, m.htotal, m.vtotal) != refresh)
            continue;
        const bool same = m.dotclock == unsigned(dotClock) && m.hsyncstart == line.hsyncstart &&
                          m.hsyncend == line.hsyncend && m.htotal == line.htotal && m.hskew == line.hskew &&
                          m.vsyncstart == line.vsyncstart && m.vsyncend == line.vsyncend &&
                          m.vtotal == line.vtotal && m.flags == line.flags;
        found = same ? refresh : 0;
        break;
    }
    XFree(modes);
    return found;
}

DesktopMode saveDesktop(int argc, char** argv, SavedDesktop& found)
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
    // Their own thread starts before the first X request, so that they end a
    // start that hangs on the server too.
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &signals, &previous);
    std::thread(restoreWhenSignalled, signals).detach();

    found = {};
    if (const char* name = displayArgument(argc, argv))
        found.display = name;
    Display* display = XOpenDisplay(displayName(found));
    int eventBase = 0, errorBase = 0;
    int dotClock = 0;
    XF86VidModeModeLine line{};
    found.modeSaved =
        display != nullptr &&
        XQueryExtension(display, "XFree86-VidModeExtension", &vidModeOpcode, &eventBase, &errorBase) &&
        XF86VidModeGetModeLine(display, DefaultScreen(display), &dotClock, &line) &&
        XF86VidModeGetViewPort(display, DefaultScreen(display), &found.viewX, &found.viewY);
    if (!found.modeSaved) {
        // No mode can be switched here: the signals keep their plain effect.
        if (display != nullptr)
            XCloseDisplay(display);
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        found = {};
        return {};
    }
    XFree(line.c_private);
    found.modeLine = modeLineNumbers(dotClock, line);
    const bool xwayland = isXWayland(display);
    const MonitorLayout layout = readLayout(display);
    int monitors = 0, primaryX = 0, primaryY = 0;
    for (const CrtcLayout& crtc : layout.crtcs) {
        monitors += crtc.mode != None;
        for (const unsigned long output : crtc.outputs)
            if (output == layout.primary && crtc.mode != None) {
                primaryX = crtc.x;
                primaryY = crtc.y;
            }
    }
    // Under XWayland the compositor owns the layout; there is none to put back.
    if (!xwayland) {
        found.layout = layout;
        found.layoutSaved = true;
    }
    const DesktopMode desktop{line.hdisplay, line.vdisplay, xwayland, currentLineRefresh(display, dotClock, line),
                              monitors, found.viewX, found.viewY, primaryX, primaryY};
    XCloseDisplay(display);
    previousErrorHandler = XSetErrorHandler(handleXError);
    // Registered before glutInit registers freeglut's, so it runs after it.
    std::atexit(putDesktopBackAtExit);
    const std::lock_guard<std::mutex> lock(puttingBack);
    asFound = found;
    return desktop;
}

void excuseXErrorsAtExit()
{
    std::atexit([] { ending = true; });
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
