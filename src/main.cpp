#include <GL/glut.h>
#include <cstdio>
#include <cstdlib>

#include "app.h"
#include "desktop.h"
#include "fullscreen.h"
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

    // Flushed at once: the main loop never returns, so a buffered line could
    // reach a launcher's log late or never.
    if (!chooseMode(modeCandidates(desktop), found.display)) {
        std::printf("Bildschirmmodi werden von der Grafikkarte nicht unterst\xC3\xBCtzt.\n");
        std::fflush(stdout);
        std::exit(1);
    }
    std::printf("Starte Kantenwerk.\nBildschirmaufloesung %dx%d Pixel bei %d bit Farbtiefe und %d hertz\n",
                chosenModeGet(GLUT_GAME_MODE_WIDTH), chosenModeGet(GLUT_GAME_MODE_HEIGHT),
                chosenModeGet(GLUT_GAME_MODE_PIXEL_DEPTH), chosenModeGet(GLUT_GAME_MODE_REFRESH_RATE));
    std::fflush(stdout);

    enterChosenMode(desktop);
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
