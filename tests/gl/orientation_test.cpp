// Slot switching, drag rotation, reset and scramble of the orientations.
// Expected matrices are composed the one way the program may compose them:
// load into OpenGL, glRotatef, read back.
#include <GL/glut.h>

#include <algorithm>
#include <array>
#include <tuple>
#include <vector>

#include "app.h"
#include "gl_test.h"
#include "input.h"
#include "model.h"
#include "orientation.h"

namespace {

using Matrix = std::array<float, 16>;
struct Turn {
    float angle, x, y, z;
};

const Matrix startOrientation = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -1, 1};
float* const matrices[4] = {workingMatrix, slot1Matrix, slot2Matrix, slot3Matrix};

Matrix matrixOf(const float* m)
{
    Matrix copy;
    std::copy(m, m + 16, copy.begin());
    return copy;
}

void put(float* target, const Matrix& m) { std::copy(m.begin(), m.end(), target); }

// Distinct entries per tag, so every copy shows where it came from.
Matrix marker(int tag)
{
    Matrix m;
    for (int i = 0; i < 16; ++i)
        m[i] = tag * 100.0f + i;
    return m;
}

// Working matrix marker 0, slot k marker k.
void markAll()
{
    for (int k = 0; k < 4; ++k)
        put(matrices[k], marker(k));
}

Matrix turned(const Matrix& m, const std::vector<Turn>& turns)
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixf(m.data());
    for (const Turn& t : turns)
        glRotatef(t.angle, t.x, t.y, t.z);
    Matrix result;
    glGetFloatv(GL_MODELVIEW_MATRIX, result.data());
    glPopMatrix();
    return result;
}

// The current modelview matrix and stack depth, which copies must leave alone.
std::tuple<Matrix, GLint> modelviewState()
{
    Matrix m;
    GLint depth = 0;
    glGetFloatv(GL_MODELVIEW_MATRIX, m.data());
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    return {m, depth};
}

class OrientationTest : public GlTest {};

TEST_F(OrientationTest, SelectSlotFollowsEveryRowOfTheSwitchTable)
{
    struct Case {
        int kind, active, remembered, activeAfter, rememberedAfter;
        int storedInto;  // slot that receives the working matrix, 0: none
        int loadedFrom;  // slot loaded into the working matrix, 0: none
    };
    const Case cases[] = {
        {0, 1, 3, 0, 1, 1, 0},  {0, 2, 1, 0, 2, 2, 0},  {0, 3, 1, 0, 3, 3, 0},   // park
        {0, 5, 1, 0, 5, 0, 0},  {0, -2, 1, 0, -2, 0, 0},                         // park, no slot
        {0, 0, 1, 1, 1, 0, 1},  {0, 0, 2, 2, 2, 0, 2},  {0, 0, 3, 3, 3, 0, 3},   // un-park
        {0, 0, 6, 6, 6, 0, 0},                                                   // un-park, no slot
        {1, 2, 3, 1, 3, 2, 1},  {1, 3, 2, 1, 2, 3, 1},  {2, 1, 3, 2, 3, 1, 2},   // switch
        {2, 3, 1, 2, 1, 3, 2},  {3, 1, 2, 3, 2, 1, 3},  {3, 2, 1, 3, 1, 2, 3},
        {2, 2, 1, 2, 1, 0, 0},  {3, 0, 1, 0, 1, 0, 0},  {1, 5, 2, 5, 2, 0, 0},   // refused
        {4, 1, 2, 1, 2, 0, 0},  {-1, 1, 2, 1, 2, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << ", active " << c.active);
        markAll();
        activeSlot = c.active;
        rememberedSlot = c.remembered;
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(marker(9).data());
        const auto before = modelviewState();
        glMatrixMode(GL_PROJECTION);  // as picking leaves it before a press selects a slot

        selectSlot(c.kind);

        glMatrixMode(GL_MODELVIEW);
        EXPECT_EQ(std::tie(activeSlot, rememberedSlot), std::tie(c.activeAfter, c.rememberedAfter));
        EXPECT_EQ(matrixOf(workingMatrix), marker(c.loadedFrom));
        for (int k = 1; k <= 3; ++k)
            EXPECT_EQ(matrixOf(matrices[k]), marker(k == c.storedInto ? 0 : k)) << "slot " << k;
        EXPECT_EQ(modelviewState(), before);
        EXPECT_EQ(swapCount, 0);
    }
}

TEST_F(OrientationTest, ResetMatricesGivesAllFourStartOrientationAndLeavesItCurrent)
{
    markAll();
    activeSlot = 3;
    rememberedSlot = 2;
    glMatrixMode(GL_PROJECTION);
    resetMatrices();
    for (float* m : matrices)
        EXPECT_EQ(matrixOf(m), startOrientation);
    EXPECT_EQ(std::get<0>(modelviewState()), startOrientation);
    EXPECT_EQ(std::tie(activeSlot, rememberedSlot, swapCount), std::make_tuple(3, 2, 0));
}

TEST_F(OrientationTest, SlotAtPointSplitsAtTruncatedHalves)
{
    const int cases[][4] = {
        // size, x, y, slot; the offset is 128
        {1024, 640, 512, 2}, {1024, 641, 512, 1}, {1024, 640, 513, 1}, {1024, 641, 513, 3},
        {1024, 10, 10, 2},   {1024, 1270, 1000, 3},  // bands beside the square
        {1023, 639, 511, 2}, {1023, 640, 511, 1}, {1023, 639, 512, 1}, {1023, 640, 512, 3},
    };
    for (const auto& c : cases) {
        viewSize = windowHeight = c[0];
        EXPECT_EQ(slotAtPoint(c[1], c[2]), c[3]) << c[0] << ": " << c[1] << "," << c[2];
    }
}

TEST_F(OrientationTest, MotionTurnsWorkingAndActiveSlotByDragAngles)
{
    struct Case {
        int left, right, toX, toY;  // from (600, 400)
        std::vector<Turn> turns;
    };
    const Case cases[] = {
        {1, 0, 856, 400, {{45, 0, 1, 0}, {0, 1, 0, 0}}},
        {1, 0, 856, 144, {{45, 0, 1, 0}, {-45, 1, 0, 0}}},
        {1, 0, 540, 430, {{-10.546875f, 0, 1, 0}, {5.2734375f, 1, 0, 0}}},
        {0, 1, 610, 390, {{1.7578125f, 0, 0, 1}}},  // equal moves: horizontal
        {0, 1, 605, 380, {{-3.515625f, 0, 0, 1}}},  // vertical larger
        {0, 1, 580, 395, {{-3.515625f, 0, 0, 1}}},  // horizontal larger
        {1, 1, 856, 144, {{45, 0, 1, 0}, {-45, 1, 0, 0}}},  // left wins
    };
    const Matrix tilted = turned(startOrientation, {{30, 1, 0, 0}, {20, 0, 0, 1}});
    for (const Case& c : cases) {
        for (const Matrix& from : {startOrientation, tilted}) {
            SCOPED_TRACE(testing::Message() << c.left << c.right << " to " << c.toX << "," << c.toY);
            put(workingMatrix, from);
            put(slot1Matrix, from);
            std::tie(leftDragActive, rightDragActive, lastMouseX, lastMouseY) =
                std::make_tuple(c.left, c.right, 600, 400);
            swapCount = 0;
            onMotion(c.toX, c.toY);
            const Matrix expected = turned(from, c.turns);
            EXPECT_EQ(matrixOf(workingMatrix), expected);
            EXPECT_EQ(matrixOf(slot1Matrix), expected);
            EXPECT_EQ(matrixOf(slot2Matrix), startOrientation);
            EXPECT_EQ(std::tie(lastMouseX, lastMouseY, activeSlot, swapCount),
                      std::make_tuple(c.toX, c.toY, 1, 1));
        }
    }
}

TEST_F(OrientationTest, HalfSquareDragTurnsFrontToTheRightHoweverSplit)
{
    projectEdges(startOrientation.data());
    const std::vector<Edge> before(projectedEdges, projectedEdges + 12);
    for (int events : {1, 2, 7, 64}) {
        SCOPED_TRACE(events);
        resetMatrices();
        std::tie(leftDragActive, lastMouseX, lastMouseY, swapCount) = std::make_tuple(1, 200, 500, 0);
        for (int k = 1; k <= events; ++k)
            onMotion(200 + 512 * k / events, 500);
        EXPECT_EQ(swapCount, events);
        projectEdges(workingMatrix);
        // A quarter turn about the vertical axis: (x, y, z) -> (z, y, -x).
        for (int i = 0; i < 12; ++i) {
            for (Point3 Edge::*point : {&Edge::start, &Edge::end, &Edge::mid}) {
                const Point3 &a = before[i].*point, &b = projectedEdges[i].*point;
                EXPECT_NEAR(b.x, a.z, 1e-5) << "edge " << i;
                EXPECT_NEAR(b.y, a.y, 1e-5) << "edge " << i;
                EXPECT_NEAR(b.z, -a.x, 1e-5) << "edge " << i;
            }
        }
    }
}

TEST_F(OrientationTest, MotionWithoutDragFlagOnlyCommitsAndRedraws)
{
    markAll();
    std::tie(rememberedSlot, lastMouseX, lastMouseY) = std::make_tuple(2, 600, 400);
    onMotion(700, 300);
    EXPECT_EQ(matrixOf(workingMatrix), marker(0));
    EXPECT_EQ(matrixOf(slot1Matrix), marker(0));
    EXPECT_EQ(std::tie(activeSlot, rememberedSlot, lastMouseX, lastMouseY, swapCount),
              std::make_tuple(1, 1, 600, 400, 1));
}

TEST_F(OrientationTest, MotionWhileParkedDoesNothingAtAll)
{
    markAll();
    std::tie(activeSlot, rememberedSlot, leftDragActive, lastMouseX, lastMouseY) =
        std::make_tuple(0, 2, 1, 600, 400);
    onMotion(856, 400);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(matrixOf(matrices[k]), marker(k)) << "matrix " << k;
    EXPECT_EQ(std::tie(activeSlot, rememberedSlot, lastMouseX, swapCount), std::make_tuple(0, 2, 600, 0));
}

TEST_F(OrientationTest, DragKeepsTurningPressedSlotUntilScrambleMovesItToSlotThree)
{
    onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 300, 300);  // upper left: slot 2
    ASSERT_EQ(activeSlot, 2);
    onMotion(900, 800);  // into the lower right quadrant
    EXPECT_NE(matrixOf(slot2Matrix), startOrientation);
    EXPECT_EQ(matrixOf(workingMatrix), matrixOf(slot2Matrix));
    EXPECT_EQ(matrixOf(slot1Matrix), startOrientation);
    EXPECT_EQ(matrixOf(slot3Matrix), startOrientation);

    scrambleOrientations();
    const Matrix slot1 = matrixOf(slot1Matrix), slot2 = matrixOf(slot2Matrix), slot3 = matrixOf(slot3Matrix);
    onMotion(950, 850);
    EXPECT_EQ(matrixOf(slot1Matrix), slot1);
    EXPECT_EQ(matrixOf(slot2Matrix), slot2);
    EXPECT_NE(matrixOf(slot3Matrix), slot3);
    EXPECT_EQ(matrixOf(workingMatrix), matrixOf(slot3Matrix));
}

TEST_F(OrientationTest, ResetOrientationRestoresAllFourAndDrawsOnce)
{
    markAll();
    std::tie(activeSlot, rememberedSlot) = std::make_tuple(3, 2);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(marker(9).data());
    const auto before = modelviewState();
    resetOrientation();
    for (float* m : matrices)
        EXPECT_EQ(matrixOf(m), startOrientation);
    EXPECT_EQ(std::tie(activeSlot, rememberedSlot, swapCount), std::make_tuple(3, 2, 1));
    EXPECT_EQ(modelviewState(), before);  // the push around the redraw is popped again
}

TEST_F(OrientationTest, GeneratorStartsWithDocumentedSequence)
{
    const int first[] = {nextRandom(), nextRandom(), nextRandom()};
    EXPECT_EQ(std::vector<int>(first, first + 3), (std::vector<int>{41, 18467, 6334}));
}

TEST_F(OrientationTest, ScrambleTurnsEachSlotByFourPassesOfRandomTriples)
{
    struct Case {
        int active, remembered;
        int takesWorking;  // slot whose entry value is the working matrix, 0: none
        int scrambles;
    };
    const Case cases[] = {
        {1, 1, 1, 1}, {2, 1, 2, 1}, {3, 1, 3, 1},
        {0, 3, 0, 1},  // parked: un-parking drops the working matrix
        {1, 1, 1, 2},  // the second scramble continues the sequence
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "active " << c.active << ", scrambles " << c.scrambles);
        markAll();
        std::tie(activeSlot, rememberedSlot, randomState, swapCount) =
            std::make_tuple(c.active, c.remembered, 1u, 0);
        Matrix expected[3];
        for (int k = 1; k <= 3; ++k)
            expected[k - 1] = marker(k == c.takesWorking ? 0 : k);
        // The documented generator and angle, drawn slot by slot, y, x, z.
        unsigned int state = 1;
        auto angle = [&state] {
            state = state * 214013u + 2531011u;
            return float(((state >> 16) & 0x7FFFu) * 90.0 / 32767.0);
        };
        for (int pass = 0; pass < 4 * c.scrambles; ++pass) {
            for (Matrix& slot : expected) {
                const float y = angle(), x = angle(), z = angle();
                slot = turned(slot, {{y, 0, 1, 0}, {x, 1, 0, 0}, {z, 0, 0, 1}});
            }
        }

        for (int i = 0; i < c.scrambles; ++i)
            scrambleOrientations();

        for (int k = 1; k <= 3; ++k)
            EXPECT_EQ(matrixOf(matrices[k]), expected[k - 1]) << "slot " << k;
        EXPECT_EQ(matrixOf(workingMatrix), expected[2]);
        EXPECT_EQ(std::tie(activeSlot, rememberedSlot, swapCount), std::make_tuple(3, 3, 4 * c.scrambles));
        EXPECT_EQ(randomState, state);  // 36 draws per scramble, no more
    }
}

}  // namespace
