// Application shell: the one Application object, the drawing area and the
// interactive state that every module shares, and its reset.
#pragma once

#include <GL/gl.h>

class Application {
public:
    // Performs all one-time initialisation; needs the OpenGL context of the
    // full-screen mode. The arguments are accepted and ignored.
    Application(int argc, char** argv);
    virtual ~Application();
};

// ---- drawing area --------------------------------------------------------
extern int windowHeight;   // window height in pixels, read at reset
extern int viewSize;       // side of the square drawing area in pixels
extern int viewOffsetX;    // left edge of the square area, window pixels (may be negative)
extern int viewOffsetY;    // bottom edge of the square area, window pixels
extern int listRange;      // names reserved by each glGenLists call (10)

// ---- drag and animation --------------------------------------------------
extern int leftDragActive;     // flag: a left-button drag is in progress
extern int rightDragActive;    // flag: a right-button drag is in progress
extern int lastMouseX;         // pointer x at the press or last motion, window pixels
extern int lastMouseY;         // pointer y likewise, growing downwards
extern float depthAmount;      // perspective strength, about -0.07 to 2.03 in steps of 0.07
extern int depthDirection;     // depth ramp: 0 still, 1 falling, 2 rising
extern int faceLevel;          // face grey level in percent, 0 to 100 in steps of 2
extern int faceFadeDirection;  // face fade: 0 still, 1 down, 2 up
extern int facesDimmed;        // flag: toolbar button 1 has dimmed the faces
extern int pulseActive;        // flag: the button-1 icon pulse runs
extern int pulseCounter;       // pulse step, 0 to 100
extern int ringSpinActive;     // flag: the button-2 icon spin runs
extern int ringAngle;          // degrees, 0 to 360 in steps of 4

// ---- colours (RGBA) and clip planes --------------------------------------
extern float overlayColor[4];  // working-orientation wire image; alpha follows depthAmount
extern float faceColor[4];     // cube faces in the quadrants
extern float edgeColor[4];     // inner edges in the quadrants
extern double planeUpper[4];   // y >= 0
extern double planeRight[4];   // x >= 0
extern double planeLower[4];   // y <= 0
extern double planeLeft[4];    // x <= 0

// Sets up the square drawing area from the current window and puts the
// interactive state into its starting condition. Runs twice at start-up only.
void resetState();
