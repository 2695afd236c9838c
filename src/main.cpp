#include <GL/glut.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app.h"
#include "desktop.h"
#include "input.h"
#include "orientation.h"
#include "render.h"
#include "watcher.h"

int main(int argc, char** argv)
{
    const Watcher watcher = startWatcher();
    SavedDesktop found;
    const DesktopMode desktop = saveDesktop(argc, argv, found);
    watchDesktop(watcher, found);
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);

    bool modeFound = false;
    for (const std::string& candidate : modeCandidates(desktop)) {
        glutGameModeString(candidate.c_str());
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
    settleGameMode(desktop);
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
