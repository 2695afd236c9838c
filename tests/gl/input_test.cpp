// Mouse rules and toolbar picking, the idle animations and the keys.
#include <GL/glut.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "app.h"
#include "gl_test.h"
#include "input.h"
#include "orientation.h"

namespace {

float* const matrices[4] = {workingMatrix, slot1Matrix, slot2Matrix, slot3Matrix};

void fillMatrices(float value)
{
    for (float* m : matrices)
        std::fill(m, m + 16, value);
}

bool atStartOrientation(const float* m)
{
    const float start[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -1, 1};
    return std::equal(m, m + 16, start);
}

const int leftButton = GLUT_LEFT_BUTTON, middleButton = GLUT_MIDDLE_BUTTON, rightButton = GLUT_RIGHT_BUTTON;
const int down = GLUT_DOWN, up = GLUT_UP;
const int cross = GLUT_CURSOR_CROSSHAIR, arrow = GLUT_CURSOR_LEFT_ARROW;
// Centres of toolbar buttons 1 to 4 in the 1280x1024 window, at y 1004.
const int faces = 1002, scramble = 1042, reset = 1082;

// Installs the idle callback as a press would, then calls it as GLUT does
// until it removes itself; the number of calls.
int idleCallsUntilRemoved()
{
    glutIdleFunc(onIdle);
    int calls = 0;
    do {
        onIdle();
        ++calls;
    } while (idleCallback == onIdle && calls < 1000);
    return calls;
}

class InputTest : public GlTest {};

template <typename Case>
std::string caseName(const testing::TestParamInfo<Case>& info)
{
    return info.param.name;
}

// ---- animations ----------------------------------------------------------

struct IdleRun {
    const char* name;
    void (*start)();
    int calls;  // including the one that removes the callback
    int frames;
    float faceGrey;
};

class IdleRunTest : public GlTest, public testing::WithParamInterface<IdleRun> {};

TEST_P(IdleRunTest, StepsThenRemovesCallbackWhenLastAnimationStops)
{
    GetParam().start();
    swapCount = 0;
    EXPECT_EQ(idleCallsUntilRemoved(), GetParam().calls);
    EXPECT_EQ(swapCount, GetParam().frames);
    EXPECT_EQ(std::tie(depthDirection, faceFadeDirection, pulseActive, pulseCounter, ringSpinActive, ringAngle),
              std::make_tuple(0, 0, 0, 0, 0, 0));
    EXPECT_EQ(std::tie(faceColor[0], faceColor[3]), std::make_tuple(GetParam().faceGrey, 1.0f));
}

const IdleRun idleRuns[] = {
    {"FaceFadeDown", [] { faceFadeDirection = 1; }, 51, 51, 0.0f},
    {"FaceFadeUp", [] { faceLevel = 0; applyFaceLevel(); faceFadeDirection = 2; }, 51, 51, 1.0f},
    {"Pulse", [] { pulseActive = 1; }, 101, 101, 1.0f},
    {"RingSpinStopDrawsNothing", [] { ringSpinActive = 1; }, 91, 90, 1.0f},
    {"FadeStopKeepsCallbackForPulse", [] { faceFadeDirection = 1; pulseActive = 1; }, 101, 152, 0.0f},
    {"RampStopKeepsCallbackForSpin", [] { depthDirection = 2; ringSpinActive = 1; }, 91, 120, 1.0f},
    {"PulseStopBeforeSpinDrawsNothing", [] { pulseCounter = 50; pulseActive = ringSpinActive = 1; },
     91, 140, 1.0f},
    {"SpinStopKeepsCallbackForPulse", [] { ringSpinActive = pulseActive = 1; }, 101, 191, 1.0f},
};
INSTANTIATE_TEST_SUITE_P(Animations, IdleRunTest, testing::ValuesIn(idleRuns), caseName<IdleRun>);

TEST_F(InputTest, RampEndsOneStepPastEachBound)
{
    struct Leg {
        int direction, calls;
        float amount;
        double overlayAlpha, edgeAlpha;
    };
    const Leg legs[] = {
        {2, 30, 2.0300007f, 1.015, 0.1425},  // 29 steps from rest
        {1, 31, -0x1.1eb846p-4f, -0.035, 0.6675},  // -0.0699999556 after 30 steps
        {2, 31, 2.0300007f, 1.015, 0.1425},
    };
    for (const Leg& leg : legs) {
        SCOPED_TRACE(leg.direction);
        depthDirection = leg.direction;
        swapCount = 0;
        EXPECT_EQ(idleCallsUntilRemoved(), leg.calls);
        EXPECT_EQ(std::tie(swapCount, depthDirection, depthAmount), std::make_tuple(leg.calls, 0, leg.amount));
        EXPECT_NEAR(overlayColor[3], leg.overlayAlpha, 1e-6);
        EXPECT_NEAR(edgeColor[3], leg.edgeAlpha, 1e-6);
        EXPECT_EQ(std::tie(overlayColor[0], edgeColor[0]), std::make_tuple(0.3f, 0.0f));
    }
    // Each step sums in double: after 29 falling steps the value is just above zero.
    std::tie(depthAmount, depthDirection) = std::make_tuple(2.0300007f, 1);
    for (int call = 0; call < 29; ++call)
        onIdle();
    EXPECT_EQ(depthAmount, 0x1.828f5cp-25f);  // 4.50015065e-8
}

TEST_F(InputTest, EdgeAlphaHoldsWhileFacesAreDimmed)
{
    const double steps[][3] = {{1, 0.035, 1.0}, {1, 0.07, 1.0}, {0, 0.105, 0.5975}, {1, 0.14, 0.5975}};
    depthDirection = 2;
    for (const auto& step : steps) {  // dimmed, overlay alpha, edge alpha
        facesDimmed = int(step[0]);
        onIdle();
        EXPECT_NEAR(overlayColor[3], step[1], 1e-6);
        EXPECT_NEAR(edgeColor[3], step[2], 1e-6);
    }
}

TEST_F(InputTest, ApplyFaceLevelGreysFacesAndDraws)
{
    faceLevel = 50;
    applyFaceLevel();
    EXPECT_EQ(std::tie(faceColor[0], faceColor[1], faceColor[2], faceColor[3], swapCount),
              std::make_tuple(0.5f, 0.5f, 0.5f, 1.0f, 1));
}

// ---- mouse ---------------------------------------------------------------

struct MouseCase {
    const char* name;
    int leftBefore, rightBefore, button, state, x, y;
    int leftAfter, rightAfter, depthAfter, cursorAfter, slotAfter;  // before: depth 0, no cursor, slot 1
    bool storesPosition, installsIdle;
};

class MouseRuleTest : public GlTest, public testing::WithParamInterface<MouseCase> {};

TEST_P(MouseRuleTest, AppliesFirstMatchingDragRule)
{
    const MouseCase& c = GetParam();
    std::tie(leftDragActive, rightDragActive, lastMouseX, lastMouseY) =
        std::make_tuple(c.leftBefore, c.rightBefore, -5, -5);
    onMouse(c.button, c.state, c.x, c.y);
    EXPECT_EQ(std::tie(leftDragActive, rightDragActive, depthDirection, cursorShape, activeSlot),
              std::tie(c.leftAfter, c.rightAfter, c.depthAfter, c.cursorAfter, c.slotAfter));
    EXPECT_EQ(std::tie(lastMouseX, lastMouseY),
              c.storesPosition ? std::make_tuple(c.x, c.y) : std::make_tuple(-5, -5));
    EXPECT_EQ(idleCallback == onIdle, c.installsIdle);
    EXPECT_EQ(idleFuncCalls, c.installsIdle ? 1 : 0);
    // No toolbar action and no frame of its own.
    EXPECT_EQ(std::tie(pulseActive, ringSpinActive, facesDimmed, swapCount), std::make_tuple(0, 0, 0, 0));
}

const MouseCase mouseCases[] = {
    {"LeftPressUpperLeftDragsSlotTwo", 0, 0, leftButton, down, 600, 300, 1, 0, 2, cross, 2, true, true},
    {"RightPressLowerRightDragsSlotThree", 0, 0, rightButton, down, 900, 520, 0, 1, 2, cross, 3, true, true},
    {"LeftReleaseEndsDrag", 1, 0, leftButton, up, 900, 800, 0, 0, 1, arrow, 1, false, true},
    {"RightReleaseEndsDrag", 0, 1, rightButton, up, 300, 300, 0, 0, 1, arrow, 1, false, true},
    {"ReleaseWithoutDragTurnsRamp", 0, 0, leftButton, up, 300, 300, 0, 0, 1, arrow, 1, false, true},
    {"LeftReleaseOverButtonEndsDrag", 1, 0, leftButton, up, faces, 1004, 0, 0, 1, arrow, 1, false, true},
    {"PressBetweenButtonsDrags", 0, 0, leftButton, down, 1022, 1004, 1, 0, 2, cross, 3, true, true},
    {"PressBelowButtonDrags", 0, 0, leftButton, down, faces, 1020, 1, 0, 2, cross, 3, true, true},
    {"RightPressDuringLeftDragIgnored", 1, 0, rightButton, down, 300, 300, 1, 0, 0, -1, 1, false, false},
    {"RightReleaseDuringLeftDragIgnored", 1, 0, rightButton, up, 300, 300, 1, 0, 0, -1, 1, false, false},
    {"LeftPressDuringRightDragIgnored", 0, 1, leftButton, down, 300, 300, 0, 1, 0, -1, 1, false, false},
    {"LeftReleaseDuringRightDragIgnored", 0, 1, leftButton, up, 300, 300, 0, 1, 0, -1, 1, false, false},
    {"MiddlePressIgnored", 0, 0, middleButton, down, 300, 300, 0, 0, 0, -1, 1, false, false},
    {"MiddleReleaseOverButtonIgnored", 0, 0, middleButton, up, faces, 1004, 0, 0, 0, -1, 1, false, false},
    {"WheelIgnored", 0, 0, 3, down, 300, 300, 0, 0, 0, -1, 1, false, false},
};
INSTANTIATE_TEST_SUITE_P(Presses, MouseRuleTest, testing::ValuesIn(mouseCases), caseName<MouseCase>);

TEST_F(InputTest, PickReachesTwoAndAHalfPixelsAroundEachSquare)
{
    // Button 1's square covers window x 992..1012 and, counted from the top, y 994..1014.
    const int cases[][3] = {
        {1002, 1004, 1}, {1042, 1004, 2}, {1082, 1004, 3}, {1122, 1004, 4},
        {990, 1004, 1},  {989, 1004, -1}, {1014, 1004, 1}, {1015, 1004, -1},
        {1002, 992, 1},  {1002, 991, -1}, {1002, 1016, 1}, {1002, 1017, -1},
        {1030, 1004, 2}, {1029, 1004, -1}, {1134, 1004, 4}, {1135, 1004, -1},
        {1022, 1004, -1},  // between buttons 1 and 2
        {1002, 1020, -1},  // below the squares
    };
    for (const auto& c : cases)
        EXPECT_EQ(pickToolbar(c[0], c[1]), c[2]) << c[0] << "," << c[1];
}

TEST_F(InputTest, ToolbarButtonsActTheSameForEveryMouseButton)
{
    std::tie(pulseCounter, ringAngle, faceLevel) = std::make_tuple(40, 100, 50);  // running animations go on
    for (int button : {leftButton, middleButton, rightButton}) {
        SCOPED_TRACE(button);
        for (int dimmed : {0, 1}) {
            std::tie(facesDimmed, pulseActive, idleCallback) = std::make_tuple(dimmed, 0, nullptr);
            onMouse(button, down, faces, 1004);
            EXPECT_EQ(std::tie(facesDimmed, faceFadeDirection, pulseActive),
                      std::make_tuple(1 - dimmed, dimmed ? 2 : 1, 1));
            EXPECT_EQ(idleCallback, onIdle);
        }

        std::tie(ringSpinActive, idleCallback, swapCount) = std::make_tuple(0, nullptr, 0);
        const float before = slot1Matrix[0];
        onMouse(button, down, scramble, 1004);
        EXPECT_EQ(std::tie(ringSpinActive, swapCount, activeSlot), std::make_tuple(1, 4, 3));
        EXPECT_NE(slot1Matrix[0], before);
        EXPECT_EQ(idleCallback, onIdle);

        fillMatrices(0.5f);
        std::tie(activeSlot, leftDragActive, depthDirection, swapCount, idleFuncCalls) =
            std::make_tuple(2, 1, 2, 0, 0);
        onMouse(button, down, reset, 1004);
        for (float* m : matrices)
            EXPECT_TRUE(atStartOrientation(m));
        EXPECT_EQ(std::tie(activeSlot, leftDragActive, depthDirection, swapCount, idleFuncCalls),
                  std::make_tuple(2, 1, 2, 1, 0));
        std::tie(leftDragActive, depthDirection) = std::make_tuple(0, 0);
    }
    EXPECT_EQ(std::tie(pulseCounter, ringAngle, faceLevel, rightDragActive), std::make_tuple(40, 100, 50, 0));
    EXPECT_EQ(cursorShape, -1);
}

// ---- keyboard ------------------------------------------------------------

TEST_F(InputTest, KeysResetOrScrambleAndOthersDoNothing)
{
    enum Effect { none, resets, scrambles };
    const std::tuple<unsigned char, Effect, int> cases[] = {
        {'A', resets, 1}, {'a', resets, 1}, {'Z', scrambles, 4}, {'z', scrambles, 4}, {'0', none, 0},
        {'9', none, 0},   {' ', none, 0},   {'\r', none, 0},     {'\n', none, 0},     {'x', none, 0},
    };
    for (const auto& [key, effect, frames] : cases) {
        SCOPED_TRACE(int(key));
        fillMatrices(0.5f);
        std::tie(activeSlot, leftDragActive, depthDirection, randomState, swapCount) =
            std::make_tuple(2, 1, 2, 1u, 0);
        onKeyboard(key, 640, 512);
        EXPECT_EQ(std::tie(swapCount, activeSlot), std::make_tuple(frames, effect == scrambles ? 3 : 2));
        EXPECT_EQ(randomState != 1, effect == scrambles);
        for (float* m : matrices) {
            EXPECT_EQ(atStartOrientation(m), effect == resets);
            EXPECT_EQ(std::all_of(m, m + 16, [](float v) { return v == 0.5f; }), effect == none);
        }
        EXPECT_EQ(std::tie(leftDragActive, depthDirection, ringSpinActive), std::make_tuple(1, 2, 0));
    }
    EXPECT_EQ(std::tie(idleFuncCalls, cursorShape), std::make_tuple(0, -1));
}

}  // namespace
