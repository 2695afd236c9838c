// CPU time of the program at rest, on a dummy X server: five seconds after
// the start-up picture has settled, and five seconds after a left drag once
// its depth ramp has run out.
//
//   bench_idle [--seconds=5]

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "bench_support.h"
#include "child_process.h"
#include "test_server.h"
#include "x_session.h"

#ifndef KANTENWERK_PROGRAM
#error "KANTENWERK_PROGRAM must name the program"
#endif

namespace {

using namespace kantenwerk::testsupport;

// Polls screen captures until three in a row, 50 ms apart, are the same.
ScreenImage waitForStablePicture(XSession& session)
{
    ScreenImage last = session.capture();
    int same = 1;
    const bool stable = waitUntil(
        [&] {
            ScreenImage next = session.capture();
            same = next.rgb() == last.rgb() ? same + 1 : 1;
            last = std::move(next);
            return same >= 3;
        },
        std::chrono::seconds(20), std::chrono::milliseconds(50));
    if (!stable)
        throw std::runtime_error("the picture did not settle");
    return last;
}

long long ticksAtRest(ChildProcess& program, double seconds)
{
    const long long before = program.cpuTicks();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    if (!program.isRunning())
        throw std::runtime_error("the program ended while at rest: " + program.stderrText());
    return program.cpuTicks() - before;
}

}  // namespace

int main(int argc, char** argv)
{
    const double seconds = kantenwerk::bench::numberOption(argc, argv, "seconds", 5);
    TestServer server(ServerKind::FullModes);
    ChildProcess program(KANTENWERK_PROGRAM, {}, {{"DISPLAY", server.display()}});
    XSession session(server.display());
    // The 0.85 grey of a drawn frame in the band left of the square.
    if (!session.waitForPixel(4, 4, [](const Rgb& colour) { return colour == Rgb{217, 217, 217}; },
                              std::chrono::seconds(20)))
        throw std::runtime_error("no frame on the screen; stdout: " + program.stdoutText());
    const ScreenImage started = waitForStablePicture(session);
    const long long afterStart = ticksAtRest(program, seconds);

    session.drag(1, {900, 300}, {1000, 360}, 20, std::chrono::milliseconds(5));
    session.sync();
    const ScreenImage dragged = waitForStablePicture(session);
    if (dragged.rgb() == started.rgb())
        throw std::runtime_error("the drag did not change the picture");
    const long long afterDrag = ticksAtRest(program, seconds);

    std::printf("  clock ticks in %.0f s at rest (%ld per second): after start-up %lld, after a drag %lld\n",
                seconds, sysconf(_SC_CLK_TCK), afterStart, afterDrag);
    std::printf("idle_ticks_start=%lld\nidle_ticks_drag=%lld\n", afterStart, afterDrag);
    return 0;
}
