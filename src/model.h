// Cube model: the twelve edges in model space, their projection under an
// orientation with adjustable perspective, and the outline classification.
// No function here touches OpenGL.
#pragma once

struct Point3 {
    float x, y, z;
};

struct Edge {
    Point3 start;
    Point3 end;
    Point3 mid;     // stored and transformed like the end points, never derived
    int onOutline;  // 1: on the outline of the projected image (classifyOutline)
};

extern Edge modelEdges[12];      // the cube, edge length 0.4, centred on the origin
extern Edge projectedEdges[12];  // the current image: projected, scaled, classified

// Writes the cube's twelve edges into modelEdges.
void initEdgeTable();
// Turns modelEdges by the transposed rotation part of a column-major matrix
// into projectedEdges, z negated so that it counts towards the viewer.
void projectEdges(const float matrix[16]);
// Scales x and y of every projected point about the origin by its own depth
// and depthAmount; works in place, so it runs once per projectEdges.
void applyPerspective();
// Flags the edges whose outward ray from the midpoint meets no other edge.
void classifyOutline();
// Two-stage straddle test; touching counts as crossing. Returns 1 or 0.
int segmentsIntersect(float p1x, float p1y, float p2x, float p2y,
                      float q1x, float q1y, float q2x, float q2y);
