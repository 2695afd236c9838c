// Shared by the OpenGL unit tests: one X server, one 1280x1024 GLUT window
// and the Application object built in it, plus a record of the GLUT calls
// the program makes (the test executable wraps them at link time).
#pragma once

#include <gtest/gtest.h>

#include "gl_window_environment.h"

using IdleCallback = void (*)();

extern int swapCount;              // glutSwapBuffers calls: frames presented
extern IdleCallback idleCallback;  // last argument of glutIdleFunc
extern int idleFuncCalls;          // glutIdleFunc calls
extern int cursorShape;            // last argument of glutSetCursor

// Base fixture: makes the main window current and puts the program into its
// start-up state (start orientations, reset state, no animation, idle
// callback removed, generator at its first draw); clears the call record.
class GlTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};
