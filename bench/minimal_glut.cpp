// The start-up yardstick: the least a GLUT program does before its first
// frame in the same full-screen mode (no display lists, one clear, a swap).
// Linked with the same first-frame stamp as the program copy.

#include <GL/glut.h>

static void display()
{
    glClearColor(0.85f, 0.85f, 0.85f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glutSwapBuffers();
}

int main(int argc, char** argv)
{
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutGameModeString("1280x1024:32");
    glutEnterGameMode();
    glutDisplayFunc(display);
    glutMainLoop();
    return 0;
}
