// The shared state after a reset, and the square drawing area it measures
// from windows of several shapes.
#include <GL/glut.h>

#include <algorithm>
#include <array>
#include <tuple>

#include "app.h"
#include "gl_test.h"
#include "orientation.h"

namespace {

template <size_t N, typename T>
std::array<T, N> arrayOf(const T* values)
{
    std::array<T, N> copy;
    std::copy(values, values + N, copy.begin());
    return copy;
}

std::array<GLint, 4> viewport()
{
    std::array<GLint, 4> box;
    glGetIntegerv(GL_VIEWPORT, box.data());
    return box;
}

std::array<float, 16> matrix(GLenum which)
{
    std::array<float, 16> m;
    glGetFloatv(which, m.data());
    return m;
}

class AppTest : public GlTest {};

TEST_F(AppTest, ResetAssignsStartValuesRepeatablyAndLeavesTheRestAlone)
{
    int* const ints[] = {&windowHeight, &viewSize, &viewOffsetX, &viewOffsetY, &leftDragActive,
                         &rightDragActive, &faceFadeDirection, &depthDirection, &activeSlot,
                         &rememberedSlot, &faceLevel, &ringAngle, &pulseCounter};
    for (int* variable : ints)
        *variable = 77;
    depthAmount = 1.5f;
    for (float* colour : {overlayColor, faceColor, edgeColor})
        std::fill(colour, colour + 4, 0.6f);
    for (double* plane : {planeUpper, planeRight, planeLower, planeLeft})
        std::fill(plane, plane + 4, 9.0);
    float* const matrices[] = {workingMatrix, slot1Matrix, slot2Matrix, slot3Matrix};
    for (float* m : matrices)
        std::fill(m, m + 16, 0.5f);
    std::tie(lastMouseX, lastMouseY, facesDimmed, pulseActive, ringSpinActive) =
        std::make_tuple(321, 654, 1, 1, 1);

    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        resetState();
        EXPECT_EQ(std::tie(windowHeight, viewSize, viewOffsetX, viewOffsetY),
                  std::make_tuple(1024, 1024, 128, 0));
        EXPECT_EQ(std::tie(leftDragActive, rightDragActive, faceFadeDirection, depthDirection),
                  std::make_tuple(0, 0, 0, 0));
        EXPECT_EQ(std::tie(activeSlot, rememberedSlot, faceLevel, ringAngle, pulseCounter, depthAmount),
                  std::make_tuple(1, 1, 100, 0, 0, 0.0f));
        EXPECT_EQ(arrayOf<4>(overlayColor), (std::array<float, 4>{0.3f, 0.3f, 0.3f, 0.0f}));
        EXPECT_EQ(arrayOf<4>(faceColor), (std::array<float, 4>{1, 1, 1, 1}));
        EXPECT_EQ(arrayOf<4>(edgeColor), (std::array<float, 4>{0, 0, 0, 1}));
        EXPECT_EQ(arrayOf<4>(planeUpper), (std::array<double, 4>{0, 1, 0, 0}));
        EXPECT_EQ(arrayOf<4>(planeRight), (std::array<double, 4>{1, 0, 0, 0}));
        EXPECT_EQ(arrayOf<4>(planeLower), (std::array<double, 4>{0, -1, 0, 0}));
        EXPECT_EQ(arrayOf<4>(planeLeft), (std::array<double, 4>{-1, 0, 0, 0}));
        // Orientations, pointer position, toolbar flags and the list range are not its business.
        for (float* m : matrices)
            EXPECT_TRUE(std::all_of(m, m + 16, [](float v) { return v == 0.5f; }));
        EXPECT_EQ(std::tie(lastMouseX, lastMouseY, facesDimmed, pulseActive, ringSpinActive, listRange),
                  std::make_tuple(321, 654, 1, 1, 1, 10));
    }
}

TEST_F(AppTest, ResetSetsUpUnitSquareViewClearedToGrey)
{
    glEnable(GL_LIGHTING);
    glViewport(1, 2, 3, 4);
    glMatrixMode(GL_PROJECTION);
    glRotatef(30, 0, 0, 1);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(1, 2, 3);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);

    resetState();

    EXPECT_EQ(viewport(), (std::array<GLint, 4>{128, 0, 1024, 1024}));
    // -0.5..0.5 in x and y fills the viewport.
    EXPECT_EQ(matrix(GL_PROJECTION_MATRIX),
              (std::array<float, 16>{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(matrix(GL_MODELVIEW_MATRIX),
              (std::array<float, 16>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_EQ(cursorShape, GLUT_CURSOR_LEFT_ARROW);
    GLubyte pixel[3] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(640, 512, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
    for (GLubyte channel : pixel)
        EXPECT_NEAR(channel, 217, 1);  // 0.85 grey
}

TEST_F(AppTest, SquareAreaIsWindowHighAndCentredWithTruncatedOffset)
{
    struct Shape {
        int width, height, offsetX;
    };
    const Shape shapes[] = {
        {1280, 1024, 128},
        {1281, 1024, 128},  // 257 / 2
        {600, 800, -100},   // narrower than high: the square spills over both sides
        {601, 800, -99},    // -199 / 2 truncates towards zero
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(testing::Message() << shape.width << "x" << shape.height);
        kantenwerk::testsupport::GlWindow window(shape.width, shape.height);
        ASSERT_EQ(glutGet(GLUT_WINDOW_WIDTH), shape.width);
        ASSERT_EQ(glutGet(GLUT_WINDOW_HEIGHT), shape.height);
        resetState();
        EXPECT_EQ(std::tie(windowHeight, viewSize, viewOffsetX, viewOffsetY),
                  std::make_tuple(shape.height, shape.height, shape.offsetX, 0));
        EXPECT_EQ(viewport(),
                  (std::array<GLint, 4>{shape.offsetX, 0, shape.height, shape.height}));
    }
}

}  // namespace
