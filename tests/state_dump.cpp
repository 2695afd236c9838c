// Linked only into the test builds of the program: at exit it writes the
// orientations, slot numbers and frames presented to standard error, so that
// tests driving the program through the X server can check what their input
// did to them. It also stands in for a GL driver that, as riscv64's llvmpipe
// does, frees itself in an exit handler registered at the first context:
// closing that context's display afterwards aborts, where the real one crashes.
#include <GL/glx.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "orientation.h"

namespace {

int framesPresented;  // glutSwapBuffers calls, counted through the link-time wrap
Display* contextDisplay = nullptr;
bool driverGone = false;

void dumpState()
{
    const struct {
        const char* name;
        const float* matrix;
    } matrices[] = {{"slot1", slot1Matrix}, {"slot2", slot2Matrix},
                    {"slot3", slot3Matrix}, {"working", workingMatrix}};
    for (const auto& entry : matrices) {
        std::fprintf(stderr, "%s", entry.name);
        for (int k = 0; k < 16; ++k)
            std::fprintf(stderr, " %.9g", entry.matrix[k]);
        std::fprintf(stderr, "\n");
    }
    std::fprintf(stderr, "activeSlot %d\n", activeSlot);
    std::fprintf(stderr, "frames %d\n", framesPresented);
}

[[maybe_unused]] const int dumpRegistered = std::atexit(dumpState);

}  // namespace

extern "C" void __real_glutSwapBuffers();
extern "C" void __wrap_glutSwapBuffers()
{
    ++framesPresented;
    __real_glutSwapBuffers();
}

// Defined in the program itself, these come first for freeglut's calls too.
extern "C" GLXContext glXCreateNewContext(Display* display, GLXFBConfig config, int type, GLXContext share, Bool direct)
{
    if (contextDisplay == nullptr) {
        contextDisplay = display;
        std::atexit([] { driverGone = true; });
    }
    return reinterpret_cast<decltype(&glXCreateNewContext)>(dlsym(RTLD_NEXT, "glXCreateNewContext"))(
        display, config, type, share, direct);
}

extern "C" int XCloseDisplay(Display* display)
{
    if (driverGone && display == contextDisplay) {
        std::fprintf(stderr, "the GL context's display closed after the driver's exit handlers\n");
        std::abort();
    }
    return reinterpret_cast<decltype(&XCloseDisplay)>(dlsym(RTLD_NEXT, "XCloseDisplay"))(display);
}
