#include "app.h"
#include "model.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <set>

namespace {

Point3 Edge::*const kPoints[3] = {&Edge::start, &Edge::end, &Edge::mid};

const float kStart[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -1, 1};
const float kQuarterX[16] = {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, -1, 1};
const float kQuarterY[16] = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, -1, 1};
const float kQuarterZ[16] = {0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, -1, 1};

// 30 degrees about x, then 40 about y: three faces in view, none edge-on.
std::array<float, 16> threeFaceMatrix()
{
    const double sa = std::sin(M_PI / 6), ca = std::cos(M_PI / 6);
    const double sb = std::sin(M_PI * 2 / 9), cb = std::cos(M_PI * 2 / 9);
    return {float(cb), float(sb * sa), float(sb * ca), 0, 0, float(ca), float(-sa), 0,
            float(-sb), float(cb * sa), float(cb * ca), 0, 0, 0, -1, 1};
}

class ModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedDepth = depthAmount;
        initEdgeTable();
    }
    void TearDown() override { depthAmount = savedDepth; }

    void frame(const float* m, float depth)
    {
        depthAmount = depth;
        projectEdges(m);
        applyPerspective();
    }
    static std::array<Edge, 12> snapshot()
    {
        std::array<Edge, 12> copy;
        std::memcpy(copy.data(), projectedEdges, sizeof projectedEdges);
        return copy;
    }
    static bool unchangedSince(const std::array<Edge, 12>& copy)
    {
        return std::memcmp(copy.data(), projectedEdges, sizeof projectedEdges) == 0;
    }

    float savedDepth = 0;
};

TEST_F(ModelTest, EdgeTableHoldsTheCubeWithExactMidpoints)
{
    const char* corners[12] = {"+++-++", "++--+-", "+-+--+", "+-----", "+++++-", "+-++--",
                               "++++-+", "++-+--", "-++-+-", "--+---", "-++--+", "-+----"};
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const Edge& e = modelEdges[i];
        const float got[6] = {e.start.x, e.start.y, e.start.z, e.end.x, e.end.y, e.end.z};
        for (int k = 0; k < 6; ++k)
            EXPECT_EQ(got[k], corners[i][k] == '+' ? 0.2f : -0.2f);
        EXPECT_EQ(e.mid.x, (e.start.x + e.end.x) / 2);
        EXPECT_EQ(e.mid.y, (e.start.y + e.end.y) / 2);
        EXPECT_EQ(e.mid.z, (e.start.z + e.end.z) / 2);
        EXPECT_EQ(e.onOutline, 0);
    }
}

TEST_F(ModelTest, AxisAlignedRotationsMapEveryPointExactly)
{
    const struct {
        const char* name; const float* matrix; std::function<Point3(Point3)> image;
    } cases[] = {
        {"start", kStart, [](Point3 p) { return Point3{p.x, p.y, -p.z}; }},
        {"quarter turn about x", kQuarterX, [](Point3 p) { return Point3{p.x, -p.z, -p.y}; }},
        {"quarter turn about z", kQuarterZ, [](Point3 p) { return Point3{-p.y, p.x, -p.z}; }},
        {"quarter turn about y", kQuarterY, [](Point3 p) { return Point3{-p.z, p.y, -p.x}; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (Edge& e : projectedEdges)
            e.onOutline = 7;
        projectEdges(c.matrix);
        for (int i = 0; i < 12; ++i)
            for (auto point : kPoints) {
                const Point3 want = c.image(modelEdges[i].*point);
                const Point3 got = projectedEdges[i].*point;
                EXPECT_EQ(got.x, want.x) << "edge " << i;
                EXPECT_EQ(got.y, want.y) << "edge " << i;
                EXPECT_EQ(got.z, want.z) << "edge " << i;
            }
        for (const Edge& e : projectedEdges)
            EXPECT_EQ(e.onOutline, 7);
    }
}

TEST_F(ModelTest, TranslationAndProjectionRowsAreIgnored)
{
    std::array<float, 16> m = threeFaceMatrix();
    projectEdges(m.data());
    const auto clean = snapshot();
    for (int k : {3, 7, 11, 12, 13, 14, 15})
        m[k] = std::numeric_limits<float>::quiet_NaN();
    projectEdges(m.data());
    EXPECT_TRUE(unchangedSince(clean));
}

TEST_F(ModelTest, DepthZeroLeavesEveryBitUnchanged)
{
    projectEdges(threeFaceMatrix().data());
    const auto before = snapshot();
    depthAmount = 0;
    applyPerspective();
    EXPECT_TRUE(unchangedSince(before));
}

TEST_F(ModelTest, DepthScalesNearPointsUpAndFarPointsDown)
{
    projectEdges(kStart);
    for (Edge& e : projectedEdges)
        e.onOutline = 7;
    auto flat = snapshot();
    depthAmount = 2;
    applyPerspective();
    // z' = +0.2 scales by 3.4/3, z' = -0.2 by 2.6/3, z' = 0 by 1.
    const struct { int edge; Point3 Edge::*point; float x, y; } cases[] = {
        {1, &Edge::start, 0.2266667f, 0.2266667f}, {1, &Edge::end, -0.2266667f, 0.2266667f},
        {0, &Edge::start, 0.1733333f, 0.1733333f}, {4, &Edge::start, 0.1733333f, 0.1733333f},
        {4, &Edge::end, 0.2266667f, 0.2266667f},   {6, &Edge::mid, 0.1733333f, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.edge);
        EXPECT_NEAR((projectedEdges[c.edge].*c.point).x, c.x, 1e-7);
        EXPECT_NEAR((projectedEdges[c.edge].*c.point).y, c.y, 1e-7);
    }
    EXPECT_EQ(projectedEdges[4].mid.x, 0.2f);
    EXPECT_EQ(projectedEdges[4].mid.y, 0.2f);
    for (int i = 0; i < 12; ++i)
        for (auto point : kPoints) {
            (flat[i].*point).x = (projectedEdges[i].*point).x;
            (flat[i].*point).y = (projectedEdges[i].*point).y;
        }
    EXPECT_TRUE(unchangedSince(flat)) << "z or onOutline changed";

    applyPerspective();
    EXPECT_NEAR(projectedEdges[1].start.x, 0.2568889f, 1e-7);
    EXPECT_NEAR(projectedEdges[0].start.y, 0.1502222f, 1e-7);
    EXPECT_EQ(projectedEdges[4].mid.x, 0.2f);
}

TEST_F(ModelTest, DepthFactorIsNotRoundedToFloat)
{
    // Start point goes to x' = 3, z' = 1; the factor is 1 + 2^-24 + 2^-40 exactly.
    const float m[16] = {15, 0, 0, 0, 0, 1, 0, 0, 0, 0, -5, 0, 0, 0, 0, 1};
    frame(m, 3.0f * 0x1.0001p-24f);
    // The exact product, 3 + 0.75 ulp, rounds to 3 + 1 ulp; a factor rounded to float
    // would make it 3 + 1.5 ulp, a tie that goes to 3 + 2 ulp.
    EXPECT_EQ(projectedEdges[0].start.x, 0x1.800002p+1f);
}

TEST_F(ModelTest, ProjectionSumsLeftToRightInDouble)
{
    // Edge 0 starts at (0.2, 0.2, 0.2); x' sums the row's three products from the left.
    const float e = 0x1p-35f;
    const struct { const char* name; float row[3]; float x; } cases[] = {
        // 0.2 + 0.2 * 2^-35 keeps in double only its multiples of 2^-55, 209715 of them
        // once the 0.2 is taken off again; a wider sum would keep 0.2 * 2^-35 whole.
        {"small term between cancelling ones", {1, e, -1}, 0x1.99998p-38f},
        {"cancelling terms first", {1, -1, e}, 0x1.99999ap-38f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const float m[16] = {c.row[0], c.row[1], c.row[2], 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        frame(m, 0);
        EXPECT_EQ(projectedEdges[0].start.x, c.x);
    }
}

TEST(SegmentsIntersect, TouchingCountsAndSeparationRejects)
{
    const float t = 0x1.000002p+0f, tt = 0x1.000004p+0f;  // 1 + 2^-23, 1 + 2^-22
    const float w = 0x1p-24f;  // the line through (1, 0) and (1 - w, 1) is x + w*y - 1 = 0
    const struct { const char* name; float p[4], q[4]; int want; } cases[] = {
        {"proper crossing", {0, 0, 2, 2}, {0, 2, 2, 0}, 1},
        {"crossing off the origin", {1, 0, 1, 2}, {0, 1, 2, 1}, 1},
        {"parallel, different lines", {0, 0, 1, 0}, {0, 1, 1, 1}, 0},
        {"parallel diagonals off the origin", {1, 1, 3, 3}, {2, 1, 4, 3}, 0},
        {"lines cross beyond one segment", {0, 0, 1, 0}, {2, -1, 2, 1}, 0},
        {"T-junction", {0, 0, 2, 0}, {1, 0, 1, 5}, 1},
        {"shared end point", {0, 0, 1, 0}, {1, 0, 1, 1}, 1},
        {"collinear and disjoint", {0, 0, 1, 0}, {2, 0, 3, 0}, 1},
        {"point on the other line, past its end", {5, 0, 5, 0}, {0, 0, 2, 0}, 1},
        {"point off the other line", {1, 1, 1, 1}, {0, 0, 2, 0}, 0},
        {"two points anywhere", {3, 4, 3, 4}, {-1, 7, -1, 7}, 1},
        // Side values of 1e-50 vanish in float and so do not separate.
        {"side values underflow to zero", {0, 0, 1e-30f, 0}, {0, 1e-20f, 1e-30f, 1e-20f}, 1},
        // 2^-45 off the line: visible only with products kept in double.
        {"point a hair off the line", {0, 0, 2, 2 * t}, {t, tt, t, tt}, 0},
        // 2^-60 and 2^-59 off the line: 1 + 2^-60 is 1 in double, so the sides are zero.
        {"offset below double resolution", {1, 0, 1 - w, 1}, {1, 0x1p-36f, 1, 0x1p-35f}, 1},
        // 1 + 2^-53 + 2^-65 rounds up to 1 + 2^-52 at once; through 64 bits it would
        // first become the tie 1 + 2^-53 and then round down to 1, a side of zero.
        {"sum rounded once", {1, 0, 1 - w, 1}, {1, 0x1.001p-29f, 1, 0x1p-28f}, 0},
    };
    auto test = [](const float* p, const float* q) {
        return segmentsIntersect(p[0], p[1], p[2], p[3], q[0], q[1], q[2], q[3]);
    };
    // The answer must not depend on which segment comes first or on direction.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const float reversed[4] = {c.p[2], c.p[3], c.p[0], c.p[1]};
        EXPECT_EQ(test(c.p, c.q), c.want);
        EXPECT_EQ(test(c.q, c.p), c.want);
        EXPECT_EQ(test(reversed, c.q), c.want);
    }
}

TEST_F(ModelTest, OutlineFlagsExactlyTheSilhouetteEdges)
{
    const auto threeFaces = threeFaceMatrix();
    const struct {
        const char* name; const float* matrix; float depth; std::set<int> outline;
    } cases[] = {
        // Front and back squares coincide: every ray meets the twin edge.
        {"start, flat", kStart, 0, {}},
        // The near face (z = -0.2, after the quarter turn x = -0.2) is drawn larger and
        // frames the rest.
        {"start, deep", kStart, 2, {1, 3, 7, 11}},
        {"quarter turn, deep", kQuarterY, 2, {8, 9, 10, 11}},
        // Nearest corner (+,-,-) and farthest (-,+,+) lie inside the hexagon.
        {"three faces, flat", threeFaces.data(), 0, {1, 2, 4, 6, 9, 11}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (Edge& e : projectedEdges)
            e.onOutline = 5;
        frame(c.matrix, c.depth);
        auto before = snapshot();
        classifyOutline();
        for (int i = 0; i < 12; ++i) {
            EXPECT_EQ(projectedEdges[i].onOutline, c.outline.count(i) ? 1 : 0) << "edge " << i;
            before[i].onOutline = projectedEdges[i].onOutline;
        }
        EXPECT_TRUE(unchangedSince(before)) << "points moved";
    }
}

}  // namespace
