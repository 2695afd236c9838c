#include "input.h"

#include <GL/glu.h>
#include <GL/glut.h>
#include <cstdlib>

#include "app.h"
#include "orientation.h"
#include "render.h"

// ---- mouse and toolbar picking -------------------------------------------

int pickToolbar(int x, int y)
{
    GLuint buffer[20];
    GLint viewport[4];
    glMatrixMode(GL_MODELVIEW);
    glViewport(viewOffsetX + viewSize - toolbarWidth, viewOffsetY, toolbarWidth, toolbarHeight);
    glGetIntegerv(GL_VIEWPORT, viewport);
    glSelectBuffer(20, buffer);
    glRenderMode(GL_SELECT);
    glInitNames();
    glPushName(0);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluPickMatrix(x, viewOffsetY + viewSize - y, 5.0, 5.0, viewport);
    gluOrtho2D(0.0, toolbarWidth, 0.0, toolbarHeight);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // A vertex array, not glBegin/glEnd: Mesa never frees an immediate-mode
    // vertex buffer that a select-mode draw has used, a leak on every press.
    const float h = float(buttonHalfSize);
    const GLfloat square[12] = {-h, -h, 0.0f, -h, h, 0.0f, h, h, 0.0f, h, -h, 0.0f};
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, square);
    for (int button = buttonFaces; button <= buttonExit; ++button) {
        glPushMatrix();
        glTranslatef(float(buttonCentreX(button)), float(buttonCentreY), 0.0f);
        glLoadName(button);
        glDrawArrays(GL_POLYGON, 0, 4);
        glPopMatrix();
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glFlush();
    const GLint hits = glRenderMode(GL_RENDER);
    // Each record is count, min depth, max depth, name: word 3 names the first hit.
    return hits > 0 ? int(buffer[3]) : -1;
}

static void runToolbarButton(int pick)
{
    switch (pick) {
    case buttonFaces:
        pulseActive = 1;
        if (facesDimmed != 0) {
            faceFadeDirection = 2;
            facesDimmed = 0;
        } else {
            faceFadeDirection = 1;
            facesDimmed = 1;
        }
        glutIdleFunc(onIdle);
        break;
    case buttonScramble:
        ringSpinActive = 1;
        glutIdleFunc(onIdle);
        scrambleOrientations();
        break;
    case buttonReset:
        resetOrientation();
        break;
    case buttonExit:
        std::exit(0);
    default:
        break;
    }
}

static void startDrag(int& flag, int x, int y)
{
    flag = 1;
    lastMouseX = x;
    lastMouseY = y;
}

void onMouse(int button, int state, int x, int y)
{
    const int pick = pickToolbar(x, y);
    if (pick != -1 && state == GLUT_DOWN) {
        runToolbarButton(pick);
        return;
    }
    // A press or release of one button is ignored while the other one drags.
    if (button == GLUT_LEFT_BUTTON && rightDragActive == 0) {
        if (state == GLUT_DOWN) {
            startDrag(leftDragActive, x, y);
            selectSlot(slotAtPoint(x, y));
            glutSetCursor(GLUT_CURSOR_CROSSHAIR);
            depthDirection = 2;
        } else if (state == GLUT_UP) {
            leftDragActive = 0;
            glutSetCursor(GLUT_CURSOR_LEFT_ARROW);
            depthDirection = 1;
        } else {
            return;
        }
    } else if (button == GLUT_RIGHT_BUTTON && leftDragActive == 0) {
        if (state == GLUT_DOWN) {
            startDrag(rightDragActive, x, y);
            glutSetCursor(GLUT_CURSOR_CROSSHAIR);
            selectSlot(slotAtPoint(x, y));
            depthDirection = 2;
        } else if (state == GLUT_UP) {
            rightDragActive = 0;
            glutSetCursor(GLUT_CURSOR_LEFT_ARROW);
            depthDirection = 1;
        } else {
            return;
        }
    } else {
        return;
    }
    glutIdleFunc(onIdle);
}

// ---- animation scheduler -------------------------------------------------

void applyFaceLevel()
{
    const float level = faceLevel / 100.0f;
    faceColor[0] = level;
    faceColor[1] = level;
    faceColor[2] = level;
    onDisplay();
}

// One step of the depth ramp. The colours follow the unrounded new value;
// every result is computed in double and stored as float.
static void stepDepth(double step)
{
    const double d = depthAmount + step;
    depthAmount = float(d);
    const double h = 1.0 - d / 2.0;
    overlayColor[3] = float(1.0 - h);
    if (facesDimmed == 0)
        edgeColor[3] = float((float(h) + 0.3) / 2.0);
    onDisplay();
}

static void stopDepth()
{
    depthDirection = 0;
    onDisplay();
    if (pulseActive == 0 && ringSpinActive == 0 && faceFadeDirection == 0)
        glutIdleFunc(nullptr);
}

static void stopFade()
{
    faceFadeDirection = 0;
    onDisplay();
    if (pulseActive == 0 && ringSpinActive == 0 && depthDirection == 0)
        glutIdleFunc(nullptr);
}

void onIdle()
{
    if (depthDirection == 2) {
        if (depthAmount < 2.0f)
            stepDepth(0.07);
        else
            stopDepth();
    } else if (depthDirection == 1) {
        if (depthAmount > 0.0f)
            stepDepth(-0.07);
        else
            stopDepth();
    }

    if (faceFadeDirection == 1) {
        if (faceLevel > 0) {
            faceLevel -= 2;
            applyFaceLevel();
        } else {
            stopFade();
        }
    } else if (faceFadeDirection == 2) {
        if (faceLevel < 100) {
            faceLevel += 2;
            applyFaceLevel();
        } else {
            stopFade();
        }
    }

    if (pulseActive != 0) {
        if (pulseCounter < 100) {
            ++pulseCounter;
            onDisplay();
        } else {
            pulseCounter = 0;
            pulseActive = 0;
            if (ringSpinActive == 0 && depthDirection == 0 && faceFadeDirection == 0) {
                glutIdleFunc(nullptr);
                onDisplay();
            }
        }
    }

    if (ringSpinActive != 0) {
        if (ringAngle < 360) {
            ringAngle += 4;
            onDisplay();
        } else {
            // No frame: the icon at 360 degrees already shows what 0 shows.
            ringAngle = 0;
            ringSpinActive = 0;
            if (pulseActive == 0 && depthDirection == 0 && faceFadeDirection == 0)
                glutIdleFunc(nullptr);
        }
    }
}

// ---- keyboard ------------------------------------------------------------

void onKeyboard(unsigned char key, int, int)
{
    switch (key) {
    case 27:
    case 'Q':
    case 'q':
        std::exit(0);
    case 'A':
    case 'a':
        resetOrientation();
        break;
    case 'Z':
    case 'z':
        scrambleOrientations();
        break;
    default:
        break;
    }
}
