#include "gl_window_environment.h"

#include "child_process.h"

#include <GL/freeglut.h>

#include <cstdlib>
#include <map>
#include <stdexcept>

namespace kantenwerk::testsupport {

namespace {

GlWindowEnvironment* runningEnvironment = nullptr;

struct WindowState {
    bool shown = false;
    bool reshaped = false;
};

std::map<int, WindowState>& windowStates() {
    static std::map<int, WindowState> states;
    return states;
}

void onDisplay() {}

void onReshape(int width, int height) {
    glViewport(0, 0, width, height);  // what GLUT does when no reshape callback is set
    windowStates()[glutGetWindow()].reshaped = true;
}

void onWindowStatus(int status) {
    if (status != GLUT_HIDDEN) windowStates()[glutGetWindow()].shown = true;
}

int createReadyWindow(int width, int height, std::chrono::milliseconds limit) {
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(width, height);
    const int window = glutCreateWindow("kantenwerk test");
    windowStates()[window] = {};
    glutDisplayFunc(onDisplay);
    glutReshapeFunc(onReshape);
    glutWindowStatusFunc(onWindowStatus);
    waitForGlutWindow(window, limit);
    return window;
}

}  // namespace

void pumpGlutEvents() {
    const int window = glutGetWindow();
    glutMainLoopEvent();
    if (window != 0) glutSetWindow(window);
}

void waitForGlutWindow(int window, std::chrono::milliseconds limit) {
    const bool ready = waitUntil(
        [window] {
            pumpGlutEvents();
            const WindowState& state = windowStates()[window];
            return state.shown && state.reshaped;
        },
        limit);
    if (!ready) {
        throw std::runtime_error("GLUT window " + std::to_string(window) + " was not shown within " +
                                 std::to_string(limit.count()) + " ms");
    }
    glutSetWindow(window);
}

GlWindowEnvironment::GlWindowEnvironment(int width, int height) : width_(width), height_(height) {}

GlWindowEnvironment::~GlWindowEnvironment() = default;

GlWindowEnvironment* GlWindowEnvironment::current() { return runningEnvironment; }

void GlWindowEnvironment::SetUp() {
    try {
        server_ = std::make_unique<TestServer>(ServerKind::FullModes);
        if (const char* old = std::getenv("DISPLAY")) previousDisplay_ = old;
        setenv("DISPLAY", server_->display().c_str(), 1);
        int argc = 1;
        char name[] = "kantenwerk_test";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
        glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
        mainWindow_ = createReadyWindow(width_, height_, std::chrono::seconds(10));
        runningEnvironment = this;
    } catch (const std::exception& error) {
        // Not a fatal failure: gtest would report every test as skipped.
        // The tests run and fail on the missing window instead.
        ADD_FAILURE() << "GL test environment: " << error.what();
    }
}

void GlWindowEnvironment::TearDown() {
    runningEnvironment = nullptr;
    if (mainWindow_ != 0) {
        glutDestroyWindow(mainWindow_);
        mainWindow_ = 0;
    }
    // Closes freeglut's connection before the server goes away, which
    // freeglut would otherwise treat as a fatal error.
    if (glutGet(GLUT_INIT_STATE)) glutExit();
    windowStates().clear();
    server_.reset();
    if (previousDisplay_) {
        setenv("DISPLAY", previousDisplay_->c_str(), 1);
    } else {
        unsetenv("DISPLAY");
    }
}

void GlWindowEnvironment::makeMainWindowCurrent() const { glutSetWindow(mainWindow_); }

GlWindow::GlWindow(int width, int height, std::chrono::milliseconds limit) {
    if (!runningEnvironment) throw std::logic_error("GlWindow needs a running GlWindowEnvironment");
    id_ = createReadyWindow(width, height, limit);
}

GlWindow::~GlWindow() {
    if (id_ == 0) return;
    glutDestroyWindow(id_);
    windowStates().erase(id_);
    pumpGlutEvents();
    if (runningEnvironment) runningEnvironment->makeMainWindowCurrent();
}

void GlWindow::makeCurrent() const { glutSetWindow(id_); }

}  // namespace kantenwerk::testsupport
