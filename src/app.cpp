#include "app.h"

#include <GL/glu.h>
#include <GL/glut.h>

#include "model.h"
#include "orientation.h"
#include "render.h"

int windowHeight;
int viewSize;
int viewOffsetX;
int viewOffsetY;
int listRange;

int leftDragActive;
int rightDragActive;
int lastMouseX;
int lastMouseY;
float depthAmount;
int depthDirection;
int faceLevel;
int faceFadeDirection;
int facesDimmed;
int pulseActive;
int pulseCounter;
int ringSpinActive;
int ringAngle;

float overlayColor[4];
float faceColor[4];
float edgeColor[4];
double planeUpper[4];
double planeRight[4];
double planeLower[4];
double planeLeft[4];

Application::Application(int, char**)
{
    listRange = 10;
    buildIconLists();
    resetMatrices();
    initEdgeTable();
    resetState();
}

Application::~Application() = default;

template <typename T>
static void assign4(T* target, T a, T b, T c, T d)
{
    target[0] = a;
    target[1] = b;
    target[2] = c;
    target[3] = d;
}

void resetState()
{
    glDisable(GL_LIGHTING);
    windowHeight = glutGet(GLUT_WINDOW_HEIGHT);
    viewSize = windowHeight;
    // A window narrower than high gives a negative offset; the square is then clipped.
    viewOffsetX = (glutGet(GLUT_WINDOW_WIDTH) - viewSize) / 2;
    viewOffsetY = 0;
    glViewport(viewOffsetX, viewOffsetY, viewSize, windowHeight);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(-0.5, 0.5, -0.5, 0.5);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glClearColor(0.85f, 0.85f, 0.85f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glutSetCursor(GLUT_CURSOR_LEFT_ARROW);

    leftDragActive = 0;
    rightDragActive = 0;
    faceFadeDirection = 0;
    depthDirection = 0;
    activeSlot = 1;
    rememberedSlot = 1;
    faceLevel = 100;
    ringAngle = 0;
    pulseCounter = 0;
    assign4(overlayColor, 0.3f, 0.3f, 0.3f, 0.0f);
    assign4(faceColor, 1.0f, 1.0f, 1.0f, 1.0f);
    assign4(edgeColor, 0.0f, 0.0f, 0.0f, 1.0f);
    assign4(planeUpper, 0.0, 1.0, 0.0, 0.0);
    assign4(planeRight, 1.0, 0.0, 0.0, 0.0);
    assign4(planeLower, 0.0, -1.0, 0.0, 0.0);
    assign4(planeLeft, -1.0, 0.0, 0.0, 0.0);
    depthAmount = 0.0f;
}
