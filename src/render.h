// Rendering: the composite frame of four clipped quadrant images with the
// overlay of the working orientation, and the toolbar with its icons.
#pragma once

#include <GL/gl.h>

extern GLuint ringListA;     // ring-pair icon, first of its ten list names
extern GLuint ringListB;     // same content as ringListA
extern GLuint exitIconList;  // black disc with three white dots

// Toolbar strip in the lower right corner of the square area, one unit per pixel.
const int toolbarWidth = 170;
const int toolbarHeight = 50;
const int buttonCentreY = 20;
const int buttonHalfSize = 10;

// Toolbar buttons, by pick name; button n is centred at x = 40 n - 20.
enum ToolbarButton { buttonFaces = 1, buttonScramble = 2, buttonReset = 3, buttonExit = 4 };
int buttonCentreX(int button);

// Compiles the icon display lists; once, with a context.
void buildIconLists();
// Draws the four icons into the toolbar viewport; called by onDisplay only.
void drawToolbar();
// Draws and presents one whole frame: the display callback, also called
// directly by every operation that changes the picture.
void onDisplay();
// Fills the six faces of whatever projection projectedEdges holds.
void drawFaces();
