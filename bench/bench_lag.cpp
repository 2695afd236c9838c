// How long the program stays busy after a fast mouse lets go: a one-second
// left drag on a small circle in the upper right quadrant, at 100, 250 and
// 1000 motions a second, then the release. Busy ends with the last CPU time
// any of the program's threads used; the depth ramp back to flat is part of it.
//
//   bench_lag [PROGRAM]   (default: the test build, which also counts frames)

#include <dirent.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "bench_support.h"
#include "child_process.h"
#include "probe_report.h"
#include "test_server.h"
#include "x_session.h"

#ifndef KANTENWERK_PROBE
#error "KANTENWERK_PROBE must name the test build of the program"
#endif

namespace {

using namespace kantenwerk::testsupport;
using Clock = std::chrono::steady_clock;

// Nanoseconds on a CPU of all the process's threads, from the scheduler.
long long cpuNanoseconds(pid_t pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (dir == nullptr)
        return -1;
    long long total = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream file(tasks + "/" + entry->d_name + "/schedstat");
        long long running = 0;
        if (file >> running)
            total += running;
    }
    closedir(dir);
    return total;
}

struct Run {
    int motions = 0;
    double busyAfterRelease = 0;  // seconds
    int frames = -1;              // as the program reports them, if it does
};

// Circles the pointer with the left button held for one second, then
// releases and waits until the program has been idle for half a second.
Run dragAndRelease(XSession& session, pid_t pid, int rate)
{
    Run run;
    const Point centre{900, 300};
    session.movePointer(centre.x + 100, centre.y);
    session.pressButton(1);
    const auto start = Clock::now();
    Point last{centre.x + 100, centre.y};
    for (int k = 1; k <= rate; ++k) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(1000000LL * k / rate));
        // Three turns a second on a radius of 100 pixels: every step moves.
        const double angle = 2 * M_PI * 3 * k / rate;
        const Point to{centre.x + int(std::lround(100 * std::cos(angle))),
                       centre.y + int(std::lround(100 * std::sin(angle)))};
        if (to.x == last.x && to.y == last.y)
            continue;
        session.movePointer(to.x, to.y);
        last = to;
        ++run.motions;
    }
    session.releaseButton(1);
    const auto released = Clock::now();
    // Busy until no thread has run for half a second.
    long long used = cpuNanoseconds(pid);
    auto lastUse = released;
    while (Clock::now() - lastUse < std::chrono::milliseconds(500)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const long long now = cpuNanoseconds(pid);
        if (now != used) {
            used = now;
            lastUse = Clock::now();
        }
        if (Clock::now() - released > std::chrono::seconds(60))
            throw std::runtime_error("still busy a minute after the release");
    }
    run.busyAfterRelease = std::chrono::duration<double>(lastUse - released).count();
    return run;
}

Run dragAt(const std::string& program, int rate)
{
    TestServer server(ServerKind::FullModes);
    ChildProcess child(program, {}, {{"DISPLAY", server.display()}});
    XSession session(server.display());
    if (!session.waitForPixel(4, 4, [](const Rgb& c) { return c == Rgb{217, 217, 217}; }, std::chrono::seconds(20)))
        throw std::runtime_error("no frame on the screen: " + child.stderrText());
    Run run;
    if (rate > 0)  // rate 0: start-up alone, the frames not to count
        run = dragAndRelease(session, child.pid(), rate);
    session.tapKey(0xff1b);  // Escape
    child.waitExit(std::chrono::seconds(10));
    run.frames = parseProbeReport(child.stderrText()).frames;
    return run;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string program = argc > 1 ? argv[1] : KANTENWERK_PROBE;
    const Run startUp = dragAt(program, 0);
    std::printf("  %s\n", program.c_str());
    for (const int rate : {100, 250, 1000}) {
        const Run run = dragAt(program, rate);
        std::printf("  %4d a second: %d motions, busy %.2f s after the release", rate, run.motions,
                    run.busyAfterRelease);
        const double framesPerMotion =
            run.frames >= 0 && startUp.frames >= 0 ? double(run.frames - startUp.frames) / run.motions : -1;
        if (framesPerMotion >= 0)
            std::printf(", %d frames, %.3f per motion", run.frames - startUp.frames, framesPerMotion);
        std::printf("\nlag_%d=%.2f\nframes_per_motion_%d=%.3f\n", rate, run.busyAfterRelease, rate, framesPerMotion);
    }
    return 0;
}
