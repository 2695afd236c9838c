// A GLUT program that fills its window with one colour and prints the input
// it receives, one event per line, so tests can check what reaches it.
//   input_probe --game MODE R G B     full screen in MODE, as the program
//                                     takes the screen
//   input_probe --window W H R G B    in a normal window at (0, 0)
// Escape ends it with exit code 0; it gives up by itself after 60 s.
#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fullscreen.h"

namespace {

float red = 0;
float green = 0;
float blue = 0;
bool announced = false;

void say(const char* format, int a, int b = 0, int c = 0, int d = 0) {
    std::printf(format, a, b, c, d);
    std::printf("\n");
    std::fflush(stdout);
}

void onDisplay() {
    glClearColor(red, green, blue, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glutSwapBuffers();
    glFinish();
    if (!announced) {
        announced = true;
        say("ready %d %d", glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT));
    }
}

void onKey(unsigned char key, int x, int y) {
    say("key %d %d %d", key, x, y);
    if (key == 27) {
        if (glutGameModeGet(GLUT_GAME_MODE_ACTIVE)) glutLeaveGameMode();
        std::exit(0);
    }
}

void onSpecial(int key, int x, int y) { say("special %d %d %d", key, x, y); }

void onMouse(int button, int state, int x, int y) {
    say(state == GLUT_DOWN ? "button %d down %d %d" : "button %d up %d %d", button, x, y);
}

void onDrag(int x, int y) { say("drag %d %d", x, y); }

void onGiveUp(int) {
    say("timeout %d", 60);
    std::exit(3);
}

float unit(const char* text) { return static_cast<float>(std::atoi(text)) / 255.0f; }

}  // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    if (argc == 6 && std::strcmp(argv[1], "--game") == 0) {
        if (!chooseMode({argv[2]}, "")) {
            say("cannot enter game mode %d", 0);
            return 2;
        }
        enterChosenMode(DesktopMode{});
    } else if (argc == 7 && std::strcmp(argv[1], "--window") == 0) {
        glutInitWindowPosition(0, 0);
        glutInitWindowSize(std::atoi(argv[2]), std::atoi(argv[3]));
        glutCreateWindow("input probe");
    } else {
        std::fprintf(stderr, "usage: %s --game MODE R G B | --window W H R G B\n", argv[0]);
        return 1;
    }
    red = unit(argv[argc - 3]);
    green = unit(argv[argc - 2]);
    blue = unit(argv[argc - 1]);
    glutDisplayFunc(onDisplay);
    glutKeyboardFunc(onKey);
    glutSpecialFunc(onSpecial);
    glutMouseFunc(onMouse);
    glutMotionFunc(onDrag);
    glutTimerFunc(60000, onGiveUp, 0);
    glutMainLoop();
    return 0;
}
