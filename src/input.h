// Interaction and animation: mouse buttons with toolbar picking, the idle
// animations and the keys.
#pragma once

// Mouse callback: a press on a toolbar button runs it; other presses and
// releases start or end a drag and turn the depth ramp.
void onMouse(int button, int state, int x, int y);
// Pick name (1 to 4) of the toolbar button within 2.5 pixels of a window
// position, or -1. Uses selection mode and leaves the toolbar viewport set.
int pickToolbar(int x, int y);
// Idle callback: one step of every running animation, a frame per step;
// removes itself when the last animation stops.
void onIdle();
// Turns faceLevel into the face colour and draws.
void applyFaceLevel();
// Keyboard callback: Escape, Q, q end; A, a reset; Z, z scramble.
void onKeyboard(unsigned char key, int x, int y);
