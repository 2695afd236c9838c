// Shared by the benchmarks that need a display: the program's full-screen
// window on its own dummy X server, clocks, medians and options.
#pragma once

#include "test_server.h"

#include <sys/types.h>

#include <string>
#include <vector>

namespace kantenwerk::bench {

// CLOCK_MONOTONIC in seconds: the clock the start-up stamp of the program
// copy prints, so parent and child readings compare.
double monotonicSeconds();

double median(std::vector<double> values);

// User and system CPU time of a process, all its threads, in seconds.
double cpuSeconds(pid_t pid);

// The values with one decimal, each after a space.
std::string joined(const std::vector<double>& values);

// The value of a "--name=value" argument, or fallback.
double numberOption(int argc, char** argv, const std::string& name, double fallback);

// A FullModes server and, on it, the 1280x1024 game mode entered and set up
// the way main() does it (Application object, callbacks, second reset), up
// to the main loop, which is left out so that the caller drives the frames.
// Returns once a frame has reached the screen.
class ProgramWindow {
public:
    ProgramWindow();
    ~ProgramWindow();
    ProgramWindow(const ProgramWindow&) = delete;
    ProgramWindow& operator=(const ProgramWindow&) = delete;

    const std::string& display() const { return server_.display(); }
    pid_t serverPid() const { return server_.pid(); }

private:
    testsupport::TestServer server_;
};

}  // namespace kantenwerk::bench
