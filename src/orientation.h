// Orientation management: the working orientation and the three slots, slot
// switching, drag rotation, reset and scramble. Matrices are column-major
// as OpenGL returns them; they are copied and composed only through the
// modelview stack, so every function here needs the OpenGL context.
#pragma once

extern float workingMatrix[16];  // orientation being edited; equals the active slot's
extern float slot1Matrix[16];    // upper right and lower left quadrants
extern float slot2Matrix[16];    // upper left quadrant
extern float slot3Matrix[16];    // lower right quadrant
extern int activeSlot;           // 1 to 3; 0 only inside a commit pair (parked)
extern int rememberedSlot;       // slot that un-parking returns to
extern unsigned int randomState; // scramble generator state, 1 at load

// Gives all four matrices the start orientation (identity, then z -1);
// leaves it as the current modelview matrix.
void resetMatrices();
// 0: park, storing the working matrix into the active slot, or un-park.
// 1 to 3: store into the active slot and load that one. Never draws.
void selectSlot(int kind);

// Slot shown in the quadrant under a window position (y grows downwards).
int slotAtPoint(int x, int y);
// Motion callback: turns the working matrix by the pointer's movement,
// commits it to the active slot and redraws, unless another motion is
// already queued to draw over it.
void onMotion(int x, int y);

// Returns all four matrices to the start orientation and redraws.
void resetOrientation();
// Turns every slot by random rotations in four visible passes.
void scrambleOrientations();
// Next number of the 15-bit scramble sequence, 0 to 32767.
int nextRandom();
