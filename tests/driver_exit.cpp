// Linked into the test builds of the program: a GL driver that, as
// riscv64's llvmpipe does, registers an exit handler when the first context
// is made and frees itself there. Closing that context's display after the
// handler ran is where the real one crashes; here it aborts with a message.
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace {

Display* contextDisplay = nullptr;
bool driverGone = false;

template <typename Function>
Function next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

// Defined in the program itself, these come before the libraries' own for
// freeglut's calls too.
extern "C" GLXContext glXCreateNewContext(Display* display, GLXFBConfig config, int renderType, GLXContext share,
                                          Bool direct)
{
    if (contextDisplay == nullptr) {
        contextDisplay = display;
        std::atexit([] { driverGone = true; });
    }
    return next<decltype(&glXCreateNewContext)>("glXCreateNewContext")(display, config, renderType, share, direct);
}

extern "C" int XCloseDisplay(Display* display)
{
    if (driverGone && display == contextDisplay) {
        std::fprintf(stderr, "the GL context's display closed after the driver's exit handlers\n");
        std::abort();
    }
    return next<decltype(&XCloseDisplay)>("XCloseDisplay")(display);
}
