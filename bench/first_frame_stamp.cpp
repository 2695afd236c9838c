// Linked into a copy of the program with its buffer swap wrapped: the first
// swap writes the CLOCK_MONOTONIC time to stderr, then presents as usual.

#include <GL/glut.h>

#include <cstdio>
#include <ctime>

extern "C" {
void __real_glutSwapBuffers();

void __wrap_glutSwapBuffers()
{
    static bool stamped = false;
    if (!stamped) {
        stamped = true;
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::fprintf(stderr, "first frame at %lld.%09ld\n", static_cast<long long>(now.tv_sec), now.tv_nsec);
        std::fflush(stderr);
    }
    __real_glutSwapBuffers();
}
}
