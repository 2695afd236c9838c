// A fixed piece of work, integer and float arithmetic over memory: prints
// the fewest milliseconds it took in three runs. CMake compares that with a
// developer's machine to scale the tests' limits on slower or emulated ones.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

int main(int argc, char**)
{
    using Clock = std::chrono::steady_clock;
    long long fewest = -1;
    double sum = 0;
    std::uint32_t hash = std::uint32_t(argc);
    for (int run = 0; run < 3; ++run) {
        const Clock::time_point start = Clock::now();
        std::vector<float> values(1 << 16, float(argc));
        for (int round = 0; round < 300; ++round)
            for (std::size_t k = 0; k < values.size(); ++k) {
                hash = (hash ^ std::uint32_t(k)) * 16777619u;
                values[k] = values[k] * 0.5f + float(hash >> 24) * 0.25f;
                sum += values[k];
            }
        const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        fewest = fewest < 0 ? ms : std::min(fewest, ms);
    }
    // The sum keeps the work from being optimised away.
    std::printf("%lld %d\n", fewest, int(sum) & 1);
    return 0;
}
