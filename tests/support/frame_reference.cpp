// A fixed piece of drawing: the Xvfb named first starts on a free display,
// a window the size of the tests' drawing area shows frames like the
// program's, and this prints the fewest milliseconds that 20 frames
// took in three runs. Emulators slow a software renderer's frames far more
// than plain arithmetic, so CMake scales the tests' limits by this as well.
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int side = 1024;

// Milliseconds for frames like the program's own: a clear, then four passes
// of blended polygons and wide lines, each cut by two clip planes, each
// frame finished before the next.
long long drawFrames(Display* display, Window window, int frames)
{
    const auto start = std::chrono::steady_clock::now();
    for (int frame = 0; frame < frames; ++frame) {
        glClearColor(0.85f, 0.85f, 0.85f, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        for (int pass = 0; pass < 4; ++pass) {
            const double sx = pass % 2 ? 1 : -1, sy = pass / 2 ? 1 : -1;
            const double horizontal[4] = {0, sy, 0, 0}, vertical[4] = {sx, 0, 0, 0};
            glClipPlane(GL_CLIP_PLANE0, horizontal);
            glClipPlane(GL_CLIP_PLANE1, vertical);
            const float turn = 0.05f * float(frame + pass);
            glColor4f(0.5f, 0.5f, 0.5f, 1);
            for (int face = 0; face < 6; ++face) {
                const float a = turn + 1.05f * float(face);
                glBegin(GL_POLYGON);
                glVertex2f(0.7f * std::cos(a), 0.7f * std::sin(a));
                glVertex2f(0.7f * std::cos(a + 2.1f), 0.7f * std::sin(a + 2.1f));
                glVertex2f(0.1f * std::cos(a + 3), 0.1f * std::sin(a + 3));
                glEnd();
            }
            glColor4f(0, 0, 0, 1);
            glBegin(GL_LINES);
            for (int edge = 0; edge < 12; ++edge) {
                const float a = turn + 0.52f * float(edge);
                glVertex2f(0.7f * std::cos(a), 0.7f * std::sin(a));
                glVertex2f(0.7f * std::cos(a + 1.6f), 0.7f * std::sin(a + 1.6f));
            }
            glEnd();
        }
        glXSwapBuffers(display, window);
        glFinish();
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// The display number Xvfb reports on PIPE, or -1 when it does not within the limit.
int awaitDisplay(int pipe, int limitMs)
{
    std::string text;
    pollfd ready{pipe, POLLIN, 0};
    while (text.find('\n') == std::string::npos && poll(&ready, 1, limitMs) > 0) {
        char chunk[32];
        const ssize_t got = read(pipe, chunk, sizeof chunk);
        if (got <= 0) return -1;
        text.append(chunk, std::size_t(got));
    }
    return text.find('\n') == std::string::npos ? -1 : std::atoi(text.c_str());
}

long long measure(const std::string& displayName)
{
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display) return -1;
    int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_DEPTH_SIZE, 16, None};
    XVisualInfo* visual = glXChooseVisual(display, DefaultScreen(display), attributes);
    if (!visual) return -1;
    XSetWindowAttributes windowAttributes{};
    windowAttributes.colormap = XCreateColormap(display, RootWindow(display, visual->screen), visual->visual, AllocNone);
    const Window window = XCreateWindow(display, RootWindow(display, visual->screen), 0, 0, side, side, 0,
                                        visual->depth, InputOutput, visual->visual, CWColormap, &windowAttributes);
    GLXContext context = glXCreateContext(display, visual, nullptr, True);
    XMapWindow(display, window);
    if (!context || !glXMakeCurrent(display, window, context)) return -1;
    glViewport(0, 0, side, side);
    glEnable(GL_CLIP_PLANE0);
    glEnable(GL_CLIP_PLANE1);
    glEnable(GL_BLEND);
    glLineWidth(2);
    drawFrames(display, window, 5);  // the renderer compiles its code in the first frames
    long long fewest = -1;
    for (int run = 0; run < 3; ++run) {
        const long long ms = drawFrames(display, window, 20);
        fewest = fewest < 0 ? ms : std::min(fewest, ms);
    }
    glXMakeCurrent(display, None, nullptr);
    glXDestroyContext(display, context);
    XCloseDisplay(display);
    return fewest;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    // A configure step leaves nothing in the user's cache.
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
    int report[2];
    if (pipe(report) != 0) return 1;
    const pid_t server = fork();
    if (server == 0) {
        close(report[0]);
        // Its warnings would mix with the figure CMake reads.
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        const std::string fd = std::to_string(report[1]);
        execl(argv[1], argv[1], "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(report[1]);
    // Xvfb starts in a second here and in a minute or two under an emulator.
    const int number = server > 0 ? awaitDisplay(report[0], 600000) : -1;
    const long long ms = number >= 0 ? measure(":" + std::to_string(number)) : -1;
    if (server > 0) {
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
    }
    if (ms < 0) return 1;
    std::printf("frames %lld ms\n", ms);
    return 0;
}
