#include "render.h"

#include <GL/glu.h>
#include <GL/glut.h>
#include <cmath>

#include "app.h"
#include "model.h"
#include "orientation.h"

GLuint ringListA;
GLuint ringListB;
GLuint exitIconList;

int buttonCentreX(int button)
{
    return 40 * button - 20;
}

// ---- toolbar -------------------------------------------------------------

static void ring(GLUquadric* quadric, int drawStyle)
{
    gluQuadricDrawStyle(quadric, drawStyle);
    gluDisk(quadric, 8.0, 12.0, 20, 20);
}

static void compileRingPair(GLUquadric* quadric)
{
    glPushMatrix();
    glRotatef(70.0f, 1.0f, 0.0f, 0.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    ring(quadric, GLU_FILL);
    glColor4f(0.6f, 0.6f, 0.6f, 1.0f);
    ring(quadric, GLU_SILHOUETTE);
    glPopMatrix();
    glPushMatrix();
    glRotatef(70.0f, 0.0f, 1.0f, 0.0f);
    glColor4f(0.6f, 0.6f, 0.6f, 1.0f);
    ring(quadric, GLU_FILL);
    glColor4f(0.4f, 0.4f, 0.4f, 1.0f);
    ring(quadric, GLU_SILHOUETTE);
    glPopMatrix();
}

static void compileExitIcon(GLUquadric* quadric)
{
    glPushMatrix();
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    gluQuadricDrawStyle(quadric, GLU_FILL);
    gluDisk(quadric, 0.0, 11.5, 20, 20);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glTranslatef(5.0f, 5.0f, 0.0f);
    gluDisk(quadric, 0.0, 2.0, 5, 5);
    glTranslatef(-8.0f, -7.0f, 0.0f);
    gluDisk(quadric, 0.0, 1.5, 5, 5);
    glTranslatef(11.0f, 2.0f, 0.0f);
    gluDisk(quadric, 0.0, 1.5, 5, 5);
    glPopMatrix();
}

void buildIconLists()
{
    ringListA = glGenLists(listRange);
    ringListB = glGenLists(listRange);
    exitIconList = glGenLists(listRange);
    GLUquadric* quadric = gluNewQuadric();
    glNewList(ringListA, GL_COMPILE);
    compileRingPair(quadric);
    glEndList();
    glNewList(ringListB, GL_COMPILE);
    compileRingPair(quadric);
    glEndList();
    glNewList(exitIconList, GL_COMPILE);
    compileExitIcon(quadric);
    glEndList();
    gluDeleteQuadric(quadric);
}

void drawToolbar()
{
    glViewport(viewOffsetX + viewSize - toolbarWidth, viewOffsetY, toolbarWidth, toolbarHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // Near 50, far -50: a larger eye-space z lies deeper.
    glOrtho(0.0, toolbarWidth, 0.0, toolbarHeight, 50.0, -50.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    // Button 1: a square shaded across, whose direction the pulse swings.
    glShadeModel(GL_SMOOTH);
    const float level = std::fabs((pulseCounter - 50) / 50.0f);
    glTranslatef(float(buttonCentreX(buttonFaces)), float(buttonCentreY), -1.0f);
    glBegin(GL_POLYGON);
    glColor4f(level, level, level, 1.0f);
    glVertex3f(-10.0f, -10.0f, 0.0f);
    glVertex3f(-10.0f, 10.0f, 0.0f);
    glColor4f(1.0f - level, 1.0f - level, 1.0f - level, 1.0f);
    glVertex3f(10.0f, 10.0f, 0.0f);
    glVertex3f(10.0f, -10.0f, 0.0f);
    glEnd();
    glShadeModel(GL_FLAT);

    // Button 2: the only icon that hides parts of itself by depth.
    glEnable(GL_DEPTH_TEST);
    glLoadIdentity();
    glTranslatef(float(buttonCentreX(buttonScramble)), float(buttonCentreY), -1.0f);
    glRotatef(15.0f, 0.0f, 1.0f, 0.0f);
    glRotatef(float(ringAngle), 0.0f, 1.0f, 1.0f);
    glCallList(ringListA);
    glRotatef(90.0f, 1.0f, 1.0f, 1.0f);
    glRotatef(float(ringAngle), 1.0f, 0.0f, 1.0f);
    glCallList(ringListB);
    glDisable(GL_DEPTH_TEST);

    // Button 3: a white square cut into four by a cross in the background grey.
    glLoadIdentity();
    glTranslatef(float(buttonCentreX(buttonReset)), float(buttonCentreY), -1.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glutSolidCube(20.0);
    glColor4f(0.2f, 0.2f, 0.2f, 1.0f);
    glLineWidth(0.5f);
    glutWireCube(20.0);
    glColor4f(0.85f, 0.85f, 0.85f, 1.0f);
    glLineWidth(2.0f);
    glBegin(GL_LINES);
    glVertex3f(-11.0f, 0.0f, 0.0f);
    glVertex3f(11.0f, 0.0f, 0.0f);
    glEnd();
    glBegin(GL_LINES);
    glVertex3f(0.0f, -11.0f, 0.0f);
    glVertex3f(0.0f, 11.0f, 0.0f);
    glEnd();
    glLineWidth(1.0f);

    // Button 4.
    glLoadIdentity();
    glTranslatef(float(buttonCentreX(buttonExit)), float(buttonCentreY), -1.0f);
    glCallList(exitIconList);
}

// ---- quadrant frame ------------------------------------------------------

// Vertices of the six faces, as (edge index, true for its end point).
static const struct {
    int edge;
    bool atEnd;
} faceCorners[6][4] = {
    {{0, false}, {0, true}, {8, true}, {4, true}},     // y = +0.2
    {{2, false}, {2, true}, {9, true}, {3, false}},    // y = -0.2
    {{1, false}, {1, true}, {11, true}, {3, false}},   // z = -0.2
    {{0, false}, {0, true}, {10, true}, {2, false}},   // z = +0.2
    {{0, true}, {11, false}, {11, true}, {10, true}},  // x = -0.2
    {{0, false}, {1, false}, {3, false}, {2, false}},  // x = +0.2
};

void drawFaces()
{
    glColor4fv(faceColor);
    for (const auto& face : faceCorners) {
        glBegin(GL_POLYGON);
        for (const auto& corner : face) {
            const Edge& edge = projectedEdges[corner.edge];
            const Point3& p = corner.atEnd ? edge.end : edge.start;
            glVertex2f(p.x, p.y);
        }
        glEnd();
    }
}

static void strokeEdge(const Edge& edge)
{
    glBegin(GL_LINES);
    glVertex2f(edge.start.x, edge.start.y);
    glVertex2f(edge.end.x, edge.end.y);
    glEnd();
}

namespace {
struct QuadrantPass {
    float sx, sy;              // +1 right or upper, -1 left or lower
    const double* horizontal;  // clip plane 0
    const double* vertical;    // clip plane 1
    const float* matrix;       // null: reuse the previous pass's projection
};
}

void onDisplay()
{
    glViewport(viewOffsetX, viewOffsetY, viewSize, windowHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(-0.5, 0.5, -0.5, 0.5);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0.85f, 0.85f, 0.85f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_CLIP_PLANE0);
    glEnable(GL_CLIP_PLANE1);
    glEnable(GL_BLEND);
    glLineWidth(2.0f);

    // Slot 1 shows in two opposite quadrants; the lower left reuses its projection.
    const QuadrantPass passes[4] = {
        {1.0f, 1.0f, planeUpper, planeRight, slot1Matrix},
        {-1.0f, -1.0f, planeLower, planeLeft, nullptr},
        {-1.0f, 1.0f, planeUpper, planeLeft, slot2Matrix},
        {1.0f, -1.0f, planeLower, planeRight, slot3Matrix},
    };
    for (const QuadrantPass& pass : passes) {
        // Planes are taken through the modelview matrix: each sits 0.004 inside its quadrant.
        glPushMatrix();
        glTranslatef(0.0f, pass.sy * 0.004f, 0.0f);
        glClipPlane(GL_CLIP_PLANE0, pass.horizontal);
        glTranslatef(pass.sx * 0.004f, -pass.sy * 0.004f, 0.0f);
        glClipPlane(GL_CLIP_PLANE1, pass.vertical);
        glPopMatrix();

        glPushMatrix();
        if (pass.matrix != nullptr) {
            projectEdges(pass.matrix);
            applyPerspective();
            classifyOutline();
        }
        glTranslatef(0.0f, 0.0f, -1.0f);
        drawFaces();
        glColor4fv(edgeColor);
        for (const Edge& edge : projectedEdges) {
            if (edge.onOutline == 0)
                strokeEdge(edge);
        }
        glPopMatrix();
    }

    glDisable(GL_CLIP_PLANE0);
    glDisable(GL_CLIP_PLANE1);
    glPushMatrix();
    projectEdges(workingMatrix);
    applyPerspective();
    glTranslatef(0.0f, 0.0f, -1.0f);
    glColor4fv(overlayColor);
    for (const Edge& edge : projectedEdges)
        strokeEdge(edge);
    glPopMatrix();

    glDisable(GL_BLEND);
    glLineWidth(1.0f);
    drawToolbar();
    glutSwapBuffers();
}
