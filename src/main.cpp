#include <GL/glut.h>
#include <cstdio>
#include <cstdlib>

#include "app.h"
#include "input.h"
#include "orientation.h"
#include "render.h"

int main(int argc, char** argv)
{
    static const char* const modeCandidates[] = {
        "1280x1024:32", "1152x864:32", "1024x768:32", "800x600:32"};

    restoreDesktopModeOnSignals(argc, argv);
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);

    bool modeFound = false;
    for (const char* candidate : modeCandidates) {
        glutGameModeString(candidate);
        if (glutGameModeGet(GLUT_GAME_MODE_POSSIBLE)) {
            modeFound = true;
            break;
        }
    }
    // Flushed at once: the main loop never returns, so a buffered line could
    // reach a launcher's log late or never.
    if (!modeFound) {
        std::printf("Bildschirmmodi werden von der Grafikkarte nicht unterst\xC3\xBCtzt.\n");
        std::fflush(stdout);
        std::exit(1);
    }
    std::printf("Starte Kantenwerk.\nBildschirmaufloesung %dx%d Pixel bei %d bit Farbtiefe und %d hertz\n",
                glutGameModeGet(GLUT_GAME_MODE_WIDTH), glutGameModeGet(GLUT_GAME_MODE_HEIGHT),
                glutGameModeGet(GLUT_GAME_MODE_PIXEL_DEPTH), glutGameModeGet(GLUT_GAME_MODE_REFRESH_RATE));
    std::fflush(stdout);

    glutEnterGameMode();
    new Application(argc, argv);

    glutDisplayFunc(onDisplay);
    glutMouseFunc(onMouse);
    glutKeyboardFunc(onKeyboard);
    glutMotionFunc(onMotion);
    glutIdleFunc(nullptr);
    glutPassiveMotionFunc(nullptr);
    resetState();
    glutMainLoop();
    return 0;
}
