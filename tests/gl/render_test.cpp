// Pixel tests of the frame: what onDisplay puts on the screen, read back
// from the X server after the swap.
#include "gl_test.h"

#include <GL/glx.h>

#include <cmath>
#include <memory>

#include "app.h"
#include "orientation.h"
#include "render.h"
#include "x_session.h"

using namespace kantenwerk::testsupport;

namespace {

const Rgb background{217, 217, 217};  // clear colour 0.85
const Rgb white{255, 255, 255};       // faces
const Rgb black{0, 0, 0};             // inner edges
const Rgb overlayGrey{76, 76, 76};    // overlay 0.3

// View coordinates (-0.5..0.5 over the square, y up) to a window pixel (y down).
Point pixelAt(double x, double y)
{
    return {int(std::floor(128 + (x + 0.5) * 1024)), int(std::floor((0.5 - y) * 1024))};
}

// Toolbar coordinates (one unit a pixel, origin at its lower left) to a window pixel.
Point toolbarPixel(int x, int y)
{
    return {982 + x, 1023 - y};
}

// Pixels of the 3x3 block around p within tolerance of colour: the one pixel
// of slack that rasterisation gets at edges.
int neighboursNear(const ScreenImage& image, Point p, const Rgb& colour, int tolerance = 1)
{
    int count = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            count += image.pixel(p.x + dx, p.y + dy).near(colour, tolerance);
    return count;
}

// On a line the colour may lie a pixel off; inside an area it must be at p.
void expectColour(const ScreenImage& image, Point p, const Rgb& colour, bool onLine)
{
    const bool shown = onLine ? neighboursNear(image, p, colour) > 0 : image.pixel(p.x, p.y).near(colour, 1);
    EXPECT_TRUE(shown) << "pixel " << p << " is " << image.pixel(p.x, p.y) << ", expected " << colour;
}

// Turned on the right through the modelview stack, as the program composes orientations.
void turn(float* matrix, float angle, float x, float y, float z)
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixf(matrix);
    glRotatef(angle, x, y, z);
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    glPopMatrix();
}

// The start orientation turned 30 degrees about x, then 40 about y: three faces
// show, corner (-,+,-) in front and (+,-,+) hidden behind it.
void turnToThreeFaces(float* matrix)
{
    turn(matrix, 30.0f, 1.0f, 0.0f, 0.0f);
    turn(matrix, 40.0f, 0.0f, 1.0f, 0.0f);
}

// Projected midpoints in that view; the six edges that meet the front or the
// hidden corner lie inside the hexagonal outline.
const struct {
    int edge;
    double midX, midY;
    bool inner;
} threeFaceEdges[12] = {
    {0, -0.0471, 0.2732, false},  {1, 0.1756, 0.0732, true},  {2, -0.1756, -0.0732, true},
    {3, 0.0471, -0.2732, false},  {4, 0.2175, 0.1732, false}, {5, 0.0889, -0.1732, true},
    {6, 0.0419, 0.1, true},       {7, 0.2645, -0.1, false},   {8, -0.0889, 0.1732, true},
    {9, -0.2175, -0.1732, false}, {10, -0.2645, 0.1, false},  {11, -0.0419, -0.1, true},
};

enum Quadrant { upperRight = 1, upperLeft = 2, lowerRight = 4, lowerLeft = 8 };

int quadrantOf(int x, int y)
{
    return 1 << (int(x < 640) + 2 * int(y >= 512));
}

GLint integerState(GLenum name)
{
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

class RenderTest : public GlTest {
protected:
    static void SetUpTestSuite() { session = std::make_unique<XSession>(GlWindowEnvironment::current()->display()); }
    static void TearDownTestSuite() { session.reset(); }

    // The swap hands the image to the X server over the GL connection; once that
    // connection is synced, a capture over ours sees it.
    static ScreenImage drawFrame()
    {
        onDisplay();
        glFinish();
        XSync(glXGetCurrentDisplay(), False);
        return session->capture();
    }

    static std::unique_ptr<XSession> session;
};

std::unique_ptr<XSession> RenderTest::session;

}  // namespace

TEST_F(RenderTest, FrameJoinsOneCubeFromFourQuartersAroundABareCross)
{
    const struct {
        float depth;
        double x, y;
        Rgb colour;
        bool onLine;
    } cases[] = {
        // face in every quadrant, and the cross cutting through it
        {0, 0.1, 0.1, white, false},        {0, -0.1, 0.1, white, false},
        {0, -0.1, -0.1, white, false},      {0, 0.1, -0.1, white, false},
        {0, 0.002, 0.1, background, false}, {0, -0.1, -0.003, background, false},
        {0, 0.002, 0.3, background, false}, {0, -0.3, -0.003, background, false},
        // outside the cube, and the bands beside the square
        {0, 0.3, 0.3, background, false},   {0, -0.35, -0.1, background, false},
        {0, -0.55, 0.1, background, false}, {0, 0.6, -0.3, background, false},
        // the outline lies under the overlay, which also runs over the cross
        {0, 0.2, 0.1, overlayGrey, true},   {0, -0.1, 0.2, overlayGrey, true},
        {0, 0.2, 0.0, overlayGrey, true},   {0, 0.0, -0.2, overlayGrey, true},
        // in perspective the front face (0.2 * 3.4 / 3) outgrows the back (0.2 * 2.6 / 3)
        {2, 0.2, 0.1, white, false},        {2, -0.2, 0.1, white, false},
        {2, -0.2, -0.1, white, false},      {2, 0.2, -0.1, white, false},
        {2, 0.24, 0.1, background, false},  {2, 0.22667, 0.1, overlayGrey, true},
        {2, -0.17333, -0.1, overlayGrey, true},
    };
    for (float depth : {0.0f, 2.0f}) {
        depthAmount = depth;
        const ScreenImage image = drawFrame();
        for (const auto& c : cases) {
            if (c.depth != depth)
                continue;
            SCOPED_TRACE(testing::Message() << "depth " << depth << ", view (" << c.x << ", " << c.y << ")");
            expectColour(image, pixelAt(c.x, c.y), c.colour, c.onLine);
        }
    }
}

TEST_F(RenderTest, EachSlotShowsInItsOwnQuadrantsOnly)
{
    const ScreenImage atStart = drawFrame();
    for (float* slot : {slot1Matrix, slot2Matrix, slot3Matrix})
        turnToThreeFaces(slot);
    const ScreenImage allTurned = drawFrame();
    int differing[16] = {};
    for (int y = 0; y < 1024; ++y)
        for (int x = 0; x < 1280; ++x)
            differing[quadrantOf(x, y)] += atStart.pixel(x, y) != allTurned.pixel(x, y);
    for (int quadrant : {upperRight, upperLeft, lowerRight, lowerLeft})
        ASSERT_GT(differing[quadrant], 1000) << "quadrant " << quadrant << " does not show the turn";

    // The overlay follows the working orientation, which stays at the start.
    const struct {
        float* slot;
        int quadrants;
    } cases[] = {{slot1Matrix, upperRight | lowerLeft}, {slot2Matrix, upperLeft}, {slot3Matrix, lowerRight}};
    for (const auto& c : cases) {
        resetMatrices();
        turnToThreeFaces(c.slot);
        const ScreenImage image = drawFrame();
        int wrong = 0;
        for (int y = 0; y < 1024; ++y) {
            for (int x = 0; x < 1280; ++x) {
                const ScreenImage& expected = (c.quadrants & quadrantOf(x, y)) ? allTurned : atStart;
                wrong += image.pixel(x, y) != expected.pixel(x, y);
            }
        }
        EXPECT_EQ(wrong, 0) << "pixels off after turning the slot of quadrants " << c.quadrants;
    }
}

TEST_F(RenderTest, QuadrantsStrokeOnlyInnerEdgesWhileTheOverlayDrawsAll)
{
    faceColor[2] = 0.0f;  // yellow faces
    edgeColor[2] = 1.0f;  // blue edges
    // With the working orientation at the start, its overlay square keeps clear of the midpoints.
    for (float* slot : {slot1Matrix, slot2Matrix, slot3Matrix})
        turnToThreeFaces(slot);
    const ScreenImage slotsTurned = drawFrame();
    expectColour(slotsTurned, pixelAt(0.15, -0.05), {255, 255, 0}, false);

    resetMatrices();
    turnToThreeFaces(workingMatrix);
    const ScreenImage workingTurned = drawFrame();
    for (const auto& e : threeFaceEdges) {
        const Point p = pixelAt(e.midX, e.midY);
        EXPECT_EQ(neighboursNear(slotsTurned, p, {0, 0, 255}) > 0, e.inner) << "quadrants, edge " << e.edge;
        EXPECT_GT(neighboursNear(workingTurned, p, overlayGrey), 0) << "overlay, edge " << e.edge;
    }
}

TEST_F(RenderTest, ButtonOneShadesAcrossWithThePulse)
{
    // Smooth shading from level at x = 10 to 1 - level at x = 30, sampled at pixel centres.
    const struct {
        int counter;
        double level;
    } cases[] = {{0, 1.0}, {25, 0.5}, {50, 0.0}, {75, 0.5}, {100, 1.0}};
    for (const auto& c : cases) {
        pulseCounter = c.counter;
        const ScreenImage image = drawFrame();
        for (int x : {10, 15, 20, 25, 29}) {
            const int grey = int(std::lround(255 * (c.level + (1 - 2 * c.level) * (x + 0.5 - 10) / 20)));
            const Point p = toolbarPixel(x, 20);
            EXPECT_TRUE(image.pixel(p.x, p.y).near({grey, grey, grey}, 2))
                << "pulseCounter " << c.counter << ", toolbar x " << x << ": " << image.pixel(p.x, p.y)
                << ", expected about " << grey;
        }
    }
}

TEST_F(RenderTest, ToolbarIconsSitInTheLowerRightCornerOfTheSquare)
{
    const struct {
        int x, y;  // toolbar pixel
        Rgb colour;
        bool onLine;
    } cases[] = {
        // exit: black disc of radius 11.5 around (140, 20), white dots at (+5, +5), (-3, -2), (+8, 0)
        {132, 19, black, false}, {140, 12, black, false}, {142, 28, black, false}, {140, 34, background, false},
        {145, 25, white, false}, {137, 18, white, false}, {148, 20, white, false},
        // reset: white square around (100, 20) cut by a background-grey cross
        {94, 24, white, false}, {105, 24, white, false}, {94, 15, white, false}, {105, 15, white, false},
        {100, 25, background, true}, {100, 15, background, true}, {94, 20, background, true},
        {105, 20, background, true},
        // nothing left of button one's square
        {7, 20, background, false},
    };
    const ScreenImage image = drawFrame();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "toolbar (" << c.x << ", " << c.y << ")");
        expectColour(image, toolbarPixel(c.x, c.y), c.colour, c.onLine);
    }
}

TEST_F(RenderTest, FrameSetsItsOwnStateAndKeepsTheMatrixStacks)
{
    const ScreenImage clean = drawFrame();
    // What a caller may leave behind: a matrix pushed on each stack, odd clip planes,
    // another clear colour, viewport and line width, the depth test on, blending off.
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(0.3f, 0.1f, 0.5f);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glRotatef(33.0f, 0.0f, 0.0f, 1.0f);
    const double odd[4] = {0.3, -1.0, 0.0, 0.1};
    for (GLenum plane : {GL_CLIP_PLANE0, GL_CLIP_PLANE1}) {
        glClipPlane(plane, odd);
        glEnable(plane);
    }
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glViewport(10, 10, 300, 200);
    glLineWidth(6.0f);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    const GLint modelviewDepth = integerState(GL_MODELVIEW_STACK_DEPTH);
    const GLint projectionDepth = integerState(GL_PROJECTION_STACK_DEPTH);

    EXPECT_TRUE(drawFrame().rgb() == clean.rgb()) << "the picture depends on the state found";
    EXPECT_EQ(integerState(GL_MATRIX_MODE), GLint(GL_MODELVIEW));
    EXPECT_EQ(integerState(GL_MODELVIEW_STACK_DEPTH), modelviewDepth);
    EXPECT_EQ(integerState(GL_PROJECTION_STACK_DEPTH), projectionDepth);
    GLfloat lineWidth = 0;
    glGetFloatv(GL_LINE_WIDTH, &lineWidth);
    EXPECT_EQ(lineWidth, 1.0f);
    for (GLenum capability : {GL_BLEND, GL_CLIP_PLANE0, GL_CLIP_PLANE1, GL_DEPTH_TEST})
        EXPECT_FALSE(glIsEnabled(capability)) << "capability 0x" << std::hex << capability;

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

TEST_F(RenderTest, EveryFrameIsPresentedOnce)
{
    onDisplay();
    EXPECT_EQ(swapCount, 1);
    onDisplay();
    EXPECT_EQ(swapCount, 2);
}
