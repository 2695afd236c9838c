// Time from starting the program to its first presented frame, on a dummy X
// server: the parent reads the clock just before it forks, the program copy
// stamps its first buffer swap with the same clock. Next to it, in turns, a
// GLUT program that only clears and swaps: what loading GL costs anyway.
//
//   bench_startup [--runs=10]

#include <chrono>
#include <cstdio>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "child_process.h"
#include "test_server.h"

#if !defined(KANTENWERK_STAMPED_PROGRAM) || !defined(KANTENWERK_STAMPED_YARDSTICK)
#error "KANTENWERK_STAMPED_PROGRAM and KANTENWERK_STAMPED_YARDSTICK must name the stamped programs"
#endif

namespace {

using kantenwerk::testsupport::ChildProcess;

double secondsToFirstFrame(const char* path, const std::string& display)
{
    static const std::regex stamp(R"(first frame at ([0-9]+\.[0-9]+)\n)");
    const double launched = kantenwerk::bench::monotonicSeconds();
    ChildProcess program(path, {}, {{"DISPLAY", display}});
    std::smatch found;
    std::string text;
    const bool stamped = kantenwerk::testsupport::waitUntil(
        [&] {
            text = program.stderrText();
            return std::regex_search(text, found, stamp) || !program.isRunning();
        },
        std::chrono::seconds(20), std::chrono::milliseconds(1));
    if (!stamped || found.empty())
        throw std::runtime_error("no first frame; stdout: " + program.stdoutText() + "\nstderr: " + text);
    return std::stod(found[1].str()) - launched;
}

}  // namespace

int main(int argc, char** argv)
{
    using kantenwerk::bench::joined;
    using kantenwerk::bench::median;
    const int runs = int(kantenwerk::bench::numberOption(argc, argv, "runs", 10));
    kantenwerk::testsupport::TestServer server(kantenwerk::testsupport::ServerKind::FullModes);
    std::vector<double> program;
    std::vector<double> yardstick;
    for (int run = 0; run < runs; ++run) {
        program.push_back(1000 * secondsToFirstFrame(KANTENWERK_STAMPED_PROGRAM, server.display()));
        yardstick.push_back(1000 * secondsToFirstFrame(KANTENWERK_STAMPED_YARDSTICK, server.display()));
    }
    std::printf("  start to first frame, ms, program:%s\n", joined(program).c_str());
    std::printf("  start to first frame, ms, clear-and-swap GLUT program:%s\n", joined(yardstick).c_str());
    std::printf("startup_ms=%.1f\nstartup_yardstick_ms=%.1f\n", median(program), median(yardstick));
    return 0;
}
