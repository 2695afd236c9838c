#pragma once

#include <sys/types.h>

#include <csignal>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kantenwerk::testsupport {

// How many times longer than on a developer's machine the tests' limits
// are, at least 1: KANTENWERK_TIME_FACTOR at run time, else the build's
// (KANTENWERK_TIME_FACTOR when CMake ran, else what it measured then). The
// limits only catch hangs; a slow or emulated machine is not one.
double timeFactor();
std::chrono::milliseconds scaled(std::chrono::milliseconds span);

// Polls until condition() holds or limit passes; true if it held. Limit and
// interval are scaled by timeFactor().
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit,
               std::chrono::milliseconds interval = std::chrono::milliseconds(5));

// Fields of /proc/PID/stat after the command name, which may hold spaces:
// element 0 is the state, field 3 of the whole line. Empty once the
// process is gone.
std::vector<std::string> procStatFields(pid_t pid);

// utime + stime in clock ticks from /proc, or -1 once the process is gone.
long long processCpuTicks(pid_t pid);

// Processes of this program binary with DISPLAY=display, whatever they call
// themselves: the program and anything it left behind, under qemu-user too.
std::vector<pid_t> processesOf(const std::string& program, const std::string& display);

struct ExitStatus {
    bool exited = false;   // normal exit; code is valid
    int code = 0;
    bool signaled = false; // killed by a signal; signal is valid
    int signal = 0;

    bool succeeded() const { return exited && code == 0; }
    std::string describe() const;
};

// A program under test, started in its own process group with stdin from
// /dev/null and stdout/stderr captured. If the test process dies, the child
// is killed too (PR_SET_PDEATHSIG), so construct it on the test's main thread.
class ChildProcess {
public:
    // program: a path, or a name looked up in PATH. environment entries
    // override or add to the test's own environment.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool isRunning();

    // Throws std::runtime_error (a test failure) if the process is still
    // running after limit; it is left running for the destructor to kill.
    ExitStatus waitExit(std::chrono::milliseconds limit);

    // Sends a signal to the whole process group.
    void signalGroup(int signal);

    std::string stdoutText() const;
    std::string stderrText() const;

    // utime + stime in clock ticks, from /proc while the process exists,
    // afterwards from the rusage collected when it was reaped.
    long long cpuTicks() const;

private:
    void readOutput(int stdoutFd, int stderrFd);
    bool reap(bool block);

    pid_t pid_ = -1;
    std::optional<ExitStatus> status_;
    long long reapedTicks_ = 0;
    mutable std::mutex outputMutex_;
    std::string stdout_;
    std::string stderr_;
    std::atomic<bool> readerDone_{false};
    std::thread reader_;
};

namespace detail {

struct SpawnRequest {
    std::vector<std::string> argv; // argv[0] is resolved through PATH
    std::map<std::string, std::string> environment;
    int stdoutFd = -1; // -1: /dev/null
    int stderrFd = -1;
    int deathSignal = SIGKILL;
};

// Forks and execs in a new process group; throws if exec fails.
pid_t spawn(const SpawnRequest& request);

}  // namespace detail

}  // namespace kantenwerk::testsupport
