#include "orientation.h"

#include <GL/gl.h>
#include <cmath>

#include "app.h"
#include "desktop.h"
#include "render.h"

float workingMatrix[16];
float slot1Matrix[16];
float slot2Matrix[16];
float slot3Matrix[16];
int activeSlot;
int rememberedSlot;
unsigned int randomState = 1;

// ---- slots ---------------------------------------------------------------

static float* slotMatrix(int slot)
{
    switch (slot) {
    case 1: return slot1Matrix;
    case 2: return slot2Matrix;
    case 3: return slot3Matrix;
    default: return nullptr;
    }
}

static void readModelview(float* target)
{
    glGetFloatv(GL_MODELVIEW_MATRIX, target);
}

// Copies go through the modelview stack and leave the current matrix as it was.
static void storeWorkingInto(float* slot)
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixf(workingMatrix);
    readModelview(slot);
    glPopMatrix();
}

static void loadWorkingFrom(const float* slot)
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixf(slot);
    readModelview(workingMatrix);
    glPopMatrix();
}

static void switchWorking(float* current, const float* target)
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixf(workingMatrix);
    readModelview(current);
    glLoadMatrixf(target);
    readModelview(workingMatrix);
    glPopMatrix();
}

static void loadStartOrientationIntoAll()
{
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -1.0f);
    readModelview(workingMatrix);
    readModelview(slot1Matrix);
    readModelview(slot2Matrix);
    readModelview(slot3Matrix);
}

void resetMatrices()
{
    glMatrixMode(GL_MODELVIEW);
    loadStartOrientationIntoAll();
}

void selectSlot(int kind)
{
    const int current = activeSlot;
    if (kind == 0) {
        if (current == 0) {
            activeSlot = rememberedSlot;
            if (const float* slot = slotMatrix(activeSlot))
                loadWorkingFrom(slot);
        } else {
            if (float* slot = slotMatrix(current))
                storeWorkingInto(slot);
            activeSlot = 0;
            rememberedSlot = current;
        }
        return;
    }
    float* from = slotMatrix(current);
    const float* to = slotMatrix(kind);
    if (from == nullptr || to == nullptr || kind == current)
        return;
    switchWorking(from, to);
    activeSlot = kind;
}

// Stores the rotated working matrix into the active slot.
static void commitWorking()
{
    selectSlot(0);
    selectSlot(0);
}

// ---- drag rotation -------------------------------------------------------

int slotAtPoint(int x, int y)
{
    const int splitColumn = viewSize / 2 + viewOffsetX;
    const int splitRow = windowHeight / 2 + viewOffsetY;
    if (x > splitColumn)
        return y > splitRow ? 3 : 1;
    return y > splitRow ? 1 : 2;
}

void onMotion(int x, int y)
{
    if (activeSlot == 0)
        return;
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    // Degrees, 90 per half side of the square; divided before the multiply.
    const double h = double(lastMouseX - x) / double(viewSize / 2) * 90.0;
    const double v = double(lastMouseY - y) / double(windowHeight / 2) * 90.0;
    if (leftDragActive == 1) {
        glLoadMatrixf(workingMatrix);
        glRotatef(float(-h), 0.0f, 1.0f, 0.0f);
        readModelview(workingMatrix);
        glRotatef(float(-v), 1.0f, 0.0f, 0.0f);
        readModelview(workingMatrix);
        lastMouseX = x;
        lastMouseY = y;
    } else if (rightDragActive == 1) {
        const double a = std::fabs(v) > std::fabs(h) ? v : h;
        glLoadMatrixf(workingMatrix);
        glRotatef(float(-a), 0.0f, 0.0f, 1.0f);
        readModelview(workingMatrix);
        lastMouseX = x;
        lastMouseY = y;
    }
    glPopMatrix();
    commitWorking();
    // A fast mouse queues motions faster than frames are drawn; drawing each
    // one would leave the picture trailing the hand by seconds.
    if (!laterMotionQueued())
        onDisplay();
}

// ---- reset and scramble --------------------------------------------------

void resetOrientation()
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    loadStartOrientationIntoAll();
    onDisplay();
    glPopMatrix();
}

// The same sequence on every platform, unseeded: the first scramble of a run
// always gives the same picture.
int nextRandom()
{
    randomState = randomState * 214013u + 2531011u;
    return int((randomState >> 16) & 0x7FFFu);
}

static float randomAngle()
{
    return float(nextRandom() * 90.0 / 32767.0);
}

void scrambleOrientations()
{
    if (activeSlot == 0)
        selectSlot(0);
    for (int pass = 0; pass < 4; ++pass) {
        selectSlot(1);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        for (int j = 0; j < 3; ++j) {
            glLoadMatrixf(workingMatrix);
            glRotatef(randomAngle(), 0.0f, 1.0f, 0.0f);
            glRotatef(randomAngle(), 1.0f, 0.0f, 0.0f);
            glRotatef(randomAngle(), 0.0f, 0.0f, 1.0f);
            readModelview(workingMatrix);
            if (j < 2)
                selectSlot(j + 2);
        }
        commitWorking();
        glPopMatrix();
        onDisplay();
    }
}
