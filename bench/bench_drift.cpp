// How far the working orientation strays from a rotation over a long left
// drag of small motion events, through the program's own motion callback in
// its full-screen window. Nothing is renormalised.
//
//   bench_drift [--motions=20000] [--draw=0] [--seed=20240521]
//
// The frame each motion event draws does not touch the matrices, so by
// default it is skipped (the redraw is wrapped at link time) to keep the run
// short; --draw=1 draws every frame and must print the same figures.

#include <GL/freeglut.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "app.h"
#include "bench_support.h"
#include "orientation.h"

namespace {

bool drawFrames = true;  // until the window is shown
long framesRequested = 0;

// Largest |c_i . c_j - delta_ij| over the columns of the 3x3 block.
double orthonormalityError(const float* matrix)
{
    double worst = 0;
    for (int i = 0; i < 3; ++i) {
        for (int j = i; j < 3; ++j) {
            double dot = 0;
            for (int k = 0; k < 3; ++k)
                dot += double(matrix[4 * i + k]) * double(matrix[4 * j + k]);
            worst = std::fmax(worst, std::fabs(dot - (i == j ? 1.0 : 0.0)));
        }
    }
    return worst;
}

// A pointer wandering in steps of one to three pixels in any direction,
// turned back at the screen's edges.
class Pointer {
public:
    Pointer(int x, int y, unsigned seed) : generator_(seed), x_(x), y_(y) {}
    int x() const { return x_; }
    int y() const { return y_; }

    void step()
    {
        const double length = std::uniform_int_distribution<int>(1, 3)(generator_);
        const double angle = std::uniform_real_distribution<double>(0, 2 * M_PI)(generator_);
        x_ = bounded(x_ + int(std::lround(length * std::cos(angle))), 1279);
        y_ = bounded(y_ + int(std::lround(length * std::sin(angle))), 1023);
    }

private:
    static int bounded(int value, int last) { return value < 0 ? -value : value > last ? 2 * last - value : value; }

    std::mt19937 generator_;
    int x_;
    int y_;
};

}  // namespace

extern "C" {
void __real__Z9onDisplayv();

void __wrap__Z9onDisplayv()
{
    ++framesRequested;
    if (drawFrames)
        __real__Z9onDisplayv();
}
}

int main(int argc, char** argv)
{
    const long motions = long(kantenwerk::bench::numberOption(argc, argv, "motions", 20000));
    kantenwerk::bench::ProgramWindow window;
    drawFrames = kantenwerk::bench::numberOption(argc, argv, "draw", 0) != 0;
    framesRequested = 0;

    // A left press in the upper right quadrant, as the mouse handler takes it.
    Pointer pointer(900, 300, unsigned(kantenwerk::bench::numberOption(argc, argv, "seed", 20240521)));
    leftDragActive = 1;
    lastMouseX = pointer.x();
    lastMouseY = pointer.y();
    selectSlot(slotAtPoint(pointer.x(), pointer.y()));

    const double start = orthonormalityError(workingMatrix);
    std::printf("  before the drag: %.3g (%s)\n", start, drawFrames ? "frames drawn" : "frames skipped");
    for (long done = 1; done <= motions; ++done) {
        pointer.step();
        onMotion(pointer.x(), pointer.y());
        if (done == 1000 || done == 5000 || done % 20000 == 0 || done == motions) {
            const double error = orthonormalityError(workingMatrix);
            std::printf("drift_%ld=%.3g\n", done, error);
            std::printf("  after %ld motions: %.9g, %.3g per motion; slot %d %s\n", done, error,
                        error / double(done), activeSlot,
                        std::memcmp(slot1Matrix, workingMatrix, sizeof workingMatrix) == 0 ? "holds the same"
                                                                                         : "DIFFERS");
        }
    }
    if (framesRequested != motions)
        std::printf("  unexpected: %ld frames for %ld motions\n", framesRequested, motions);
    return 0;
}
