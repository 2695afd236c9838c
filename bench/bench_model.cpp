#include "app.h"
#include "model.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>

namespace {

// Rotation by degrees about x, then y, then z, column-major like the slots.
std::array<float, 16> rotation(double ax, double ay, double az)
{
    const double r = M_PI / 180;
    const double sx = std::sin(ax * r), cx = std::cos(ax * r);
    const double sy = std::sin(ay * r), cy = std::cos(ay * r);
    const double sz = std::sin(az * r), cz = std::cos(az * r);
    const double m[3][3] = {
        {cz * cy, cz * sy * sx - sz * cx, cz * sy * cx + sz * sx},
        {sz * cy, sz * sy * sx + cz * cx, sz * sy * cx - cz * sx},
        {-sy, cy * sx, cy * cx}};
    std::array<float, 16> out{};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            out[4 * col + row] = float(m[row][col]);
    out[14] = -1;
    out[15] = 1;
    return out;
}

// Model work of one frame: three classified slot images and the overlay.
void BM_FrameModel(benchmark::State& state)
{
    initEdgeTable();
    depthAmount = 1.4f;
    const std::array<float, 16> slots[3] = {
        rotation(30, 40, 0), rotation(-25, 110, 15), rotation(70, -35, 50)};
    for (auto _ : state) {
        for (const auto& slot : slots) {
            projectEdges(slot.data());
            applyPerspective();
            classifyOutline();
            benchmark::DoNotOptimize(projectedEdges);
            benchmark::ClobberMemory();
        }
        projectEdges(slots[0].data());
        applyPerspective();
        benchmark::DoNotOptimize(projectedEdges);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FrameModel);

}  // namespace
