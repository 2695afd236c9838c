// A fixed piece of the work the tests wait for, arithmetic in double and
// memory: prints the fewest milliseconds it took in three runs. CMake
// compares that with a developer's machine to scale the tests' limits.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

int main(int argc, char**)
{
    using Clock = std::chrono::steady_clock;
    long long fewest = -1;
    double sum = 0;
    for (int run = 0; run < 3; ++run) {
        const Clock::time_point start = Clock::now();
        std::vector<double> values(1 << 16, double(argc));
        for (int round = 0; round < 60; ++round)
            for (std::size_t k = 0; k < values.size(); ++k) {
                values[k] = std::sqrt(values[k] * 0.75 + double(k ^ std::size_t(round))) + std::sin(values[k]);
                sum += values[k];
            }
        const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        fewest = fewest < 0 ? ms : std::min(fewest, ms);
    }
    // The sum keeps the work from being optimised away.
    std::printf("%lld%s\n", fewest, sum == 0.5 ? " " : "");
    return 0;
}
