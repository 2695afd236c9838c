#include "app.h"

#include <GL/glu.h>
#include <GL/glut.h>
#include <X11/Xlib.h>
#include <X11/extensions/xf86vmode.h>
#include <pthread.h>

#include <csignal>
#include <cstring>
#include <initializer_list>
#include <thread>

#include "model.h"
#include "orientation.h"
#include "render.h"

int windowHeight;
int viewSize;
int viewOffsetX;
int viewOffsetY;
int listRange;

int leftDragActive;
int rightDragActive;
int lastMouseX;
int lastMouseY;
float depthAmount;
int depthDirection;
int faceLevel;
int faceFadeDirection;
int facesDimmed;
int pulseActive;
int pulseCounter;
int ringSpinActive;
int ringAngle;

float overlayColor[4];
float faceColor[4];
float edgeColor[4];
double planeUpper[4];
double planeRight[4];
double planeLower[4];
double planeLeft[4];

Application::Application(int, char**)
{
    listRange = 10;
    buildIconLists();
    resetMatrices();
    initEdgeTable();
    resetState();
}

Application::~Application() = default;

template <typename T>
static void assign4(T* target, T a, T b, T c, T d)
{
    target[0] = a;
    target[1] = b;
    target[2] = c;
    target[3] = d;
}

void resetState()
{
    glDisable(GL_LIGHTING);
    windowHeight = glutGet(GLUT_WINDOW_HEIGHT);
    viewSize = windowHeight;
    // A window narrower than high gives a negative offset; the square is then clipped.
    viewOffsetX = (glutGet(GLUT_WINDOW_WIDTH) - viewSize) / 2;
    viewOffsetY = 0;
    glViewport(viewOffsetX, viewOffsetY, viewSize, windowHeight);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(-0.5, 0.5, -0.5, 0.5);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glClearColor(0.85f, 0.85f, 0.85f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glutSetCursor(GLUT_CURSOR_LEFT_ARROW);

    leftDragActive = 0;
    rightDragActive = 0;
    faceFadeDirection = 0;
    depthDirection = 0;
    activeSlot = 1;
    rememberedSlot = 1;
    faceLevel = 100;
    ringAngle = 0;
    pulseCounter = 0;
    assign4(overlayColor, 0.3f, 0.3f, 0.3f, 0.0f);
    assign4(faceColor, 1.0f, 1.0f, 1.0f, 1.0f);
    assign4(edgeColor, 0.0f, 0.0f, 0.0f, 1.0f);
    assign4(planeUpper, 0.0, 1.0, 0.0, 0.0);
    assign4(planeRight, 1.0, 0.0, 0.0, 0.0);
    assign4(planeLower, 0.0, -1.0, 0.0, 0.0);
    assign4(planeLeft, -1.0, 0.0, 0.0, 0.0);
    depthAmount = 0.0f;
}

// ---- ending by signal ----------------------------------------------------

// The display freeglut will open: its -display argument, else $DISPLAY.
static const char* displayName(int argc, char** argv)
{
    for (int k = 1; k + 1 < argc; ++k)
        if (std::strcmp(argv[k], "-display") == 0)
            return argv[k + 1];
    return nullptr;
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

void restoreDesktopModeOnSignals(int argc, char** argv)
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
        return;
    }
    const XF86VidModeModeInfo mode{unsigned(dotClock), line.hdisplay, line.hsyncstart, line.hsyncend,
                                   line.htotal,        line.hskew,    line.vdisplay,   line.vsyncstart,
                                   line.vsyncend,      line.vtotal,   line.flags,      line.privsize,
                                   line.c_private};
    std::thread(restoreModeWhenSignalled, signals, display, mode, viewX, viewY).detach();
}
