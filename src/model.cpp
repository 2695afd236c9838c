#include "model.h"

#include "app.h"

Edge modelEdges[12];
Edge projectedEdges[12];

void initEdgeTable()
{
    const float h = 0.2f;
    static const signed char corners[12][2][3] = {
        {{1, 1, 1}, {-1, 1, 1}},    {{1, 1, -1}, {-1, 1, -1}},
        {{1, -1, 1}, {-1, -1, 1}},  {{1, -1, -1}, {-1, -1, -1}},
        {{1, 1, 1}, {1, 1, -1}},    {{1, -1, 1}, {1, -1, -1}},
        {{1, 1, 1}, {1, -1, 1}},    {{1, 1, -1}, {1, -1, -1}},
        {{-1, 1, 1}, {-1, 1, -1}},  {{-1, -1, 1}, {-1, -1, -1}},
        {{-1, 1, 1}, {-1, -1, 1}},  {{-1, 1, -1}, {-1, -1, -1}},
    };
    for (int i = 0; i < 12; ++i) {
        const signed char* s = corners[i][0];
        const signed char* e = corners[i][1];
        Edge& edge = modelEdges[i];
        edge.start = {s[0] * h, s[1] * h, s[2] * h};
        edge.end = {e[0] * h, e[1] * h, e[2] * h};
        // Along the edge's own axis the two signs cancel to 0.
        edge.mid = {(s[0] + e[0]) / 2 * h, (s[1] + e[1]) / 2 * h, (s[2] + e[2]) / 2 * h};
    }
}

// All arithmetic below is done in double from float operands and rounded to
// float only where a value is stored; the results are specified to the bit.

static Point3 project(const float* m, const Point3& p)
{
    const double x = p.x, y = p.y, z = p.z;
    return {float(m[0] * x + m[1] * y + m[2] * z),
            float(m[4] * x + m[5] * y + m[6] * z),
            float(-(m[8] * x + m[9] * y + m[10] * z))};
}

void projectEdges(const float matrix[16])
{
    for (int i = 0; i < 12; ++i) {
        projectedEdges[i].mid = project(matrix, modelEdges[i].mid);
        projectedEdges[i].start = project(matrix, modelEdges[i].start);
        projectedEdges[i].end = project(matrix, modelEdges[i].end);
    }
}

static void scaleByDepth(Point3& p)
{
    const double factor = (depthAmount * double(p.z) + 3.0) / 3.0;
    p.x = float(factor * p.x);
    p.y = float(factor * p.y);
}

void applyPerspective()
{
    for (Edge& edge : projectedEdges) {
        scaleByDepth(edge.mid);
        scaleByDepth(edge.start);
        scaleByDepth(edge.end);
    }
}

namespace {

// The line through u and v as a*x + b*y + c = 0, its coefficients stored as float.
struct Line {
    float a, b, c;
};

Line lineThrough(float ux, float uy, float vx, float vy)
{
    return {float(double(vy) - uy), float(double(ux) - vx),
            float(double(vx) * uy - double(ux) * vy)};
}

// True when q1 and q2 lie strictly on the same side of the line; a zero
// never separates.
bool sameSide(const Line& line, float q1x, float q1y, float q2x, float q2y)
{
    const float s1 = float((double(line.a) * q1x + double(line.b) * q1y) + line.c);
    const float s2 = float((double(line.a) * q2x + double(line.b) * q2y) + line.c);
    return (s1 < 0.0f && s2 < 0.0f) || (s1 > 0.0f && s2 > 0.0f);
}

}  // namespace

void classifyOutline()
{
    // The same tests as segmentsIntersect, with each line's coefficients
    // computed once instead of for every pair.
    Line edgeLines[12];
    for (int j = 0; j < 12; ++j) {
        const Edge& edge = projectedEdges[j];
        edgeLines[j] = lineThrough(edge.start.x, edge.start.y, edge.end.x, edge.end.y);
    }
    for (int i = 0; i < 12; ++i) {
        Edge& edge = projectedEdges[i];
        const float farX = float(edge.mid.x * 10000.0);
        const float farY = float(edge.mid.y * 10000.0);
        const Line ray = lineThrough(edge.mid.x, edge.mid.y, farX, farY);
        edge.onOutline = 1;
        for (int j = 0; j < 12; ++j) {
            if (j == i)
                continue;
            const Edge& other = projectedEdges[j];
            if (!sameSide(ray, other.start.x, other.start.y, other.end.x, other.end.y) &&
                !sameSide(edgeLines[j], edge.mid.x, edge.mid.y, farX, farY)) {
                edge.onOutline = 0;
                break;
            }
        }
    }
}

int segmentsIntersect(float p1x, float p1y, float p2x, float p2y,
                      float q1x, float q1y, float q2x, float q2y)
{
    if (sameSide(lineThrough(p1x, p1y, p2x, p2y), q1x, q1y, q2x, q2y))
        return 0;
    if (sameSide(lineThrough(q1x, q1y, q2x, q2y), p1x, p1y, p2x, p2y))
        return 0;
    return 1;
}
