// Linked only into the test build of the program: at exit it writes the
// orientations, slot numbers and frames presented to standard error, so that
// tests driving the program through the X server can check what their input
// did to them.
#include <cstdio>
#include <cstdlib>

#include "orientation.h"

namespace {

int framesPresented;  // glutSwapBuffers calls, counted through the link-time wrap

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
