// Frames per second of the display callback, buffer swap included, in the
// program's 1280x1024 full-screen window on a dummy X server, next to
// glxgears in a window of the same size on the same server as the yardstick.
// Besides the rates, the CPU time per frame of the drawing process (all its
// rasteriser threads) and of the X server, which a busy machine disturbs far
// less than the rates.
//
//   bench_frames [--runs=5] [--seconds=3] [--gears-readings=2]

#include <GL/freeglut.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "app.h"
#include "bench_support.h"
#include "child_process.h"
#include "input.h"
#include "orientation.h"
#include "render.h"

namespace {

using kantenwerk::bench::cpuSeconds;
using kantenwerk::bench::joined;
using kantenwerk::bench::median;
using kantenwerk::bench::monotonicSeconds;
using kantenwerk::bench::numberOption;

struct FrameRates {
    std::vector<double> perSecond;
    std::vector<double> clientMs;  // CPU per frame of the drawing process
    std::vector<double> serverMs;  // CPU per frame of the X server
};

// CPU readings of the drawing process and the server at one moment.
struct CpuMark {
    double client;
    double server;
};

CpuMark cpuMark(pid_t client, pid_t server)
{
    return {cpuSeconds(client), cpuSeconds(server)};
}

void addCpuPerFrame(FrameRates& rates, const CpuMark& from, const CpuMark& to, double frames)
{
    rates.clientMs.push_back(1000 * (to.client - from.client) / frames);
    rates.serverMs.push_back(1000 * (to.server - from.server) / frames);
}

// One run of at least the given time; the pipeline is drained at both ends
// so that no frame is counted undrawn.
void runFrames(FrameRates& rates, double seconds, pid_t server)
{
    glFinish();
    const CpuMark before = cpuMark(getpid(), server);
    const double start = monotonicSeconds();
    long frames = 0;
    do {
        onDisplay();
        ++frames;
    } while (monotonicSeconds() - start < seconds);
    glFinish();
    const double elapsed = monotonicSeconds() - start;
    addCpuPerFrame(rates, before, cpuMark(getpid(), server), double(frames));
    rates.perSecond.push_back(double(frames) / elapsed);
}

void startPicture()
{
    resetMatrices();
    resetState();
}

// Every slot turned by the first scramble, and the depth ramp raised to
// about 1.4 by the program's own idle steps, as in the middle of a drag.
void scrambledPicture()
{
    startPicture();
    scrambleOrientations();
    depthDirection = 2;
    while (depthAmount < 1.39f)
        onIdle();
    depthDirection = 0;
}

// glxgears prints "N frames in 5.0 seconds = X FPS" every five seconds. The
// CPU time is taken over the readings after the first, which holds its start.
void runGlxgears(FrameRates& rates, const std::string& display, pid_t server, int readings)
{
    using kantenwerk::testsupport::ChildProcess;
    using kantenwerk::testsupport::waitUntil;
    static const std::regex reading(R"(([0-9]+) frames in [0-9.]+ seconds = ([0-9.]+) FPS)");
    ChildProcess gears("glxgears", {"-geometry", "1280x1024"}, {{"DISPLAY", display}});
    std::vector<double> frames;
    std::vector<double> perSecond;
    const auto readingsUpTo = [&](int wanted) {
        return waitUntil(
            [&] {
                frames.clear();
                perSecond.clear();
                const std::string text = gears.stdoutText();
                for (std::sregex_iterator it(text.begin(), text.end(), reading), end; it != end; ++it) {
                    frames.push_back(std::stod((*it)[1].str()));
                    perSecond.push_back(std::stod((*it)[2].str()));
                }
                return int(frames.size()) >= wanted;
            },
            std::chrono::seconds(6 * wanted + 10), std::chrono::milliseconds(2));
    };
    if (!readingsUpTo(1))
        throw std::runtime_error("glxgears gave no reading; stderr: " + gears.stderrText());
    const CpuMark first = cpuMark(gears.pid(), server);
    if (!readingsUpTo(readings))
        throw std::runtime_error("glxgears gave " + std::to_string(frames.size()) + " readings");
    const CpuMark last = cpuMark(gears.pid(), server);
    double counted = 0;
    for (int i = 1; i < readings; ++i)
        counted += frames[std::size_t(i)];
    addCpuPerFrame(rates, first, last, counted);
    rates.perSecond.insert(rates.perSecond.end(), perSecond.begin(), perSecond.begin() + readings);
}

void report(const char* name, const char* key, const FrameRates& rates)
{
    const double client = median(rates.clientMs);
    const double server = median(rates.serverMs);
    std::printf("  %-22s fps:%s; CPU ms per frame: %.2f drawing + %.2f X server\n", name,
                joined(rates.perSecond).c_str(), client, server);
    std::printf("fps_%s=%.1f\ncpu_ms_%s=%.2f\n", key, median(rates.perSecond), key, client + server);
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = int(numberOption(argc, argv, "runs", 5));
    const double seconds = numberOption(argc, argv, "seconds", 3);
    const int gearsReadings = int(numberOption(argc, argv, "gears-readings", 2));

    kantenwerk::bench::ProgramWindow window;
    const pid_t server = window.serverPid();

    // The yardstick before and after the program's runs, so that a change in
    // the machine's load shows as a spread in its readings. No readings: the
    // program alone, for profiling.
    FrameRates gears;
    if (gearsReadings > 1)
        runGlxgears(gears, window.display(), server, gearsReadings);
    const struct {
        const char* name;
        const char* key;
        void (*setUp)();
    } pictures[] = {{"start picture", "start", startPicture}, {"scrambled, depth 1.4", "scrambled", scrambledPicture}};
    std::vector<double> pictureRates;
    for (const auto& picture : pictures) {
        picture.setUp();
        FrameRates rates;
        for (int run = 0; run < runs; ++run) {
            glutMainLoopEvent();
            runFrames(rates, seconds, server);
        }
        report(picture.name, picture.key, rates);
        pictureRates.push_back(median(rates.perSecond));
    }
    if (gearsReadings > 1) {
        runGlxgears(gears, window.display(), server, gearsReadings);
        report("glxgears 1280x1024", "glxgears", gears);
        const double yardstick = median(gears.perSecond);
        std::printf("ratio_start=%.2f\nratio_scrambled=%.2f\n", pictureRates[0] / yardstick,
                    pictureRates[1] / yardstick);
    }
    return 0;
}
