// Reports what freeglut says about game mode strings on $DISPLAY, for tests
// that must not call glutInit in their own process.
//   gamemode_probe MODE...        one "MODE possible=0|1" line per mode
//   gamemode_probe --enter MODE   enters game mode and reports the result
#include <GL/freeglut.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

bool shown = false;

void onDisplay() {
    glClear(GL_COLOR_BUFFER_BIT);
    glutSwapBuffers();
}

void onWindowStatus(int status) {
    if (status != GLUT_HIDDEN) shown = true;
}

int enter(const char* mode) {
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutGameModeString(mode);
    if (!glutGameModeGet(GLUT_GAME_MODE_POSSIBLE)) {
        std::printf("cannot enter %s\n", mode);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    glutEnterGameMode();
    glutDisplayFunc(onDisplay);
    glutWindowStatusFunc(onWindowStatus);
    const auto deadline = start + std::chrono::seconds(10);
    while (!shown && std::chrono::steady_clock::now() < deadline) glutMainLoopEvent();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::printf("entered %s shown=%d active=%d width=%d height=%d refresh=%d ms=%lld\n", mode, shown ? 1 : 0,
                glutGameModeGet(GLUT_GAME_MODE_ACTIVE), glutGet(GLUT_WINDOW_WIDTH),
                glutGet(GLUT_WINDOW_HEIGHT), glutGameModeGet(GLUT_GAME_MODE_REFRESH_RATE),
                static_cast<long long>(elapsed.count()));
    glutLeaveGameMode();
    return shown ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--enter") == 0) return enter(argv[2]);
    for (int i = 1; i < argc; ++i) {
        glutGameModeString(argv[i]);
        std::printf("%s possible=%d\n", argv[i], glutGameModeGet(GLUT_GAME_MODE_POSSIBLE) ? 1 : 0);
    }
    return argc > 1 ? 0 : 1;
}
