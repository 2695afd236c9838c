// Linked into a test build of the program: freeglut's game mode can switch
// to no mode at all, as where the library was built without any extension
// to switch modes with (every architecture but x86), while the X server
// still offers them.
#include <GL/glut.h>

#include <cstdio>

extern "C" int __wrap_glutGameModeGet(GLenum query);
extern "C" int __real_glutGameModeGet(GLenum query);
extern "C" int __wrap_glutEnterGameMode();

extern "C" int __wrap_glutGameModeGet(GLenum query)
{
    return query == GLUT_GAME_MODE_POSSIBLE ? 0 : __real_glutGameModeGet(query);
}

extern "C" int __wrap_glutEnterGameMode()
{
    std::fprintf(stderr, "freeglut: failed to change screen settings\n");
    return 0;
}
