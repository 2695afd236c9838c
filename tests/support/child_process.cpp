#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace kantenwerk::testsupport {

#ifndef KANTENWERK_BUILD_TIME_FACTOR
#define KANTENWERK_BUILD_TIME_FACTOR 1
#endif

double timeFactor() {
    static const double factor = [] {
        const char* text = std::getenv("KANTENWERK_TIME_FACTOR");
        char* end = nullptr;
        const double chosen = text && *text ? std::strtod(text, &end) : 0;
        if (text && *text && (*end != '\0' || !(chosen >= 1)))
            throw std::invalid_argument(std::string("KANTENWERK_TIME_FACTOR is not a number of at least 1: ") + text);
        return chosen >= 1 ? chosen : double(KANTENWERK_BUILD_TIME_FACTOR);
    }();
    return factor;
}

std::chrono::milliseconds scaled(std::chrono::milliseconds span) {
    return std::chrono::milliseconds(static_cast<long long>(double(span.count()) * timeFactor() + 0.5));
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit,
               std::chrono::milliseconds interval) {
    limit = scaled(limit);
    interval = scaled(interval);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(interval);
    }
}

std::string ExitStatus::describe() const {
    std::ostringstream text;
    if (exited) {
        text << "exit code " << code;
    } else if (signaled) {
        text << "killed by signal " << signal << " (" << strsignal(signal) << ")";
    } else {
        text << "unknown status";
    }
    return text.str();
}

namespace {

std::string tail(const std::string& text, std::size_t maxChars = 2000) {
    return text.size() <= maxChars ? text : "..." + text.substr(text.size() - maxChars);
}

std::string resolveExecutable(const std::string& program) {
    if (program.find('/') != std::string::npos) return program;
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/local/bin:/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    throw std::runtime_error("cannot find executable '" + program + "' in PATH");
}

}  // namespace

namespace detail {

pid_t spawn(const SpawnRequest& request) {
    if (request.argv.empty()) throw std::invalid_argument("spawn: empty argv");
    const std::string executable = resolveExecutable(request.argv[0]);

    // Everything the child needs is prepared before fork: after fork only
    // async-signal-safe calls are allowed in a threaded process.
    std::map<std::string, std::string> merged;
    for (char** entry = environ; *entry; ++entry) {
        const std::string item(*entry);
        const auto equals = item.find('=');
        if (equals != std::string::npos) merged[item.substr(0, equals)] = item.substr(equals + 1);
    }
    for (const auto& [key, value] : request.environment) merged[key] = value;
#ifdef KANTENWERK_SHADER_CACHE
    // One shader cache for the build's runs, so that only the first start
    // compiles: a build's HOME may have no cache, or none that can be written.
    merged.emplace("MESA_SHADER_CACHE_DIR", KANTENWERK_SHADER_CACHE);
#endif
    std::vector<std::string> envStrings;
    for (const auto& [key, value] : merged) envStrings.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (auto& item : envStrings) envp.push_back(item.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings = request.argv;
    std::vector<char*> argv;
    for (auto& item : argStrings) argv.push_back(item.data());
    argv.push_back(nullptr);

    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0) throw std::runtime_error(std::string("open /dev/null: ") + strerror(errno));
    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC) != 0) {
        close(devNull);
        throw std::runtime_error(std::string("pipe2: ") + strerror(errno));
    }
    const int outFd = request.stdoutFd >= 0 ? request.stdoutFd : devNull;
    const int errFd = request.stderrFd >= 0 ? request.stderrFd : devNull;
    const pid_t parent = getpid();

    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, request.deathSignal);
        if (getppid() != parent) _exit(127);  // the test died before prctl
        signal(SIGPIPE, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (dup2(devNull, 0) < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0) {
            const int error = errno;
            (void)!write(errorPipe[1], &error, sizeof error);
            _exit(127);
        }
        // Descriptors the test opened without O_CLOEXEC (e.g. other
        // children's pipes) must not keep those pipes open.
        syscall(SYS_close_range, 3u, ~0u, 4u /* CLOSE_RANGE_CLOEXEC */);
        execve(executable.c_str(), argv.data(), envp.data());
        const int error = errno;
        (void)!write(errorPipe[1], &error, sizeof error);
        _exit(127);
    }
    const int forkError = errno;
    close(errorPipe[1]);
    close(devNull);
    if (pid < 0) {
        close(errorPipe[0]);
        throw std::runtime_error(std::string("fork: ") + strerror(forkError));
    }
    setpgid(pid, pid);  // also here, so the group exists before we signal it

    int childError = 0;
    ssize_t got;
    do {
        got = read(errorPipe[0], &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    close(errorPipe[0]);
    if (got == static_cast<ssize_t>(sizeof childError)) {
        waitpid(pid, nullptr, 0);
        throw std::runtime_error("cannot start " + executable + ": " + strerror(childError));
    }
    return pid;
}

}  // namespace detail

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment) {
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        throw std::runtime_error("pipe2 failed");
    }
    detail::SpawnRequest request;
    request.argv.push_back(program);
    request.argv.insert(request.argv.end(), arguments.begin(), arguments.end());
    request.environment = environment;
    request.stdoutFd = outPipe[1];
    request.stderrFd = errPipe[1];
    try {
        pid_ = detail::spawn(request);
    } catch (...) {
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) close(fd);
        throw;
    }
    close(outPipe[1]);
    close(errPipe[1]);
    reader_ = std::thread([this, out = outPipe[0], err = errPipe[0]] { readOutput(out, err); });
}

ChildProcess::~ChildProcess() {
    if (!status_) {
        kill(-pid_, SIGKILL);
        reap(true);
    }
    // A descendant that outlived the leader may still hold the pipes open.
    if (!waitUntil([this] { return readerDone_.load(); }, std::chrono::milliseconds(500))) {
        kill(-pid_, SIGKILL);
    }
    if (reader_.joinable()) reader_.join();
}

void ChildProcess::readOutput(int stdoutFd, int stderrFd) {
    pollfd fds[2] = {{stdoutFd, POLLIN, 0}, {stderrFd, POLLIN, 0}};
    int open = 2;
    char buffer[4096];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                std::lock_guard<std::mutex> lock(outputMutex_);
                (i == 0 ? stdout_ : stderr_).append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& entry : fds) {
        if (entry.fd >= 0) close(entry.fd);
    }
    readerDone_ = true;
}

bool ChildProcess::reap(bool block) {
    if (status_) return true;
    int raw = 0;
    rusage usage{};
    pid_t got;
    do {
        got = wait4(pid_, &raw, block ? 0 : WNOHANG, &usage);
    } while (got < 0 && errno == EINTR);
    if (got != pid_) return false;
    ExitStatus status;
    if (WIFEXITED(raw)) {
        status.exited = true;
        status.code = WEXITSTATUS(raw);
    } else if (WIFSIGNALED(raw)) {
        status.signaled = true;
        status.signal = WTERMSIG(raw);
    }
    const long long micros = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL +
                             usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
    reapedTicks_ = micros * sysconf(_SC_CLK_TCK) / 1000000LL;
    status_ = status;
    return true;
}

bool ChildProcess::isRunning() { return !reap(false); }

ExitStatus ChildProcess::waitExit(std::chrono::milliseconds limit) {
    if (!waitUntil([this] { return reap(false); }, limit)) {
        throw std::runtime_error("process " + std::to_string(pid_) + " still running after " +
                                 std::to_string(scaled(limit).count()) + " ms\nstdout: " +
                                 tail(stdoutText()) + "\nstderr: " + tail(stderrText()));
    }
    // Output written just before exit may still be in the pipe.
    waitUntil([this] { return readerDone_.load(); }, std::chrono::milliseconds(1000));
    return *status_;
}

void ChildProcess::signalGroup(int signal) {
    if (!status_) kill(-pid_, signal);
}

std::string ChildProcess::stdoutText() const {
    std::lock_guard<std::mutex> lock(outputMutex_);
    return stdout_;
}

std::string ChildProcess::stderrText() const {
    std::lock_guard<std::mutex> lock(outputMutex_);
    return stderr_;
}

long long ChildProcess::cpuTicks() const {
    if (status_) return reapedTicks_;
    const long long ticks = processCpuTicks(pid_);
    if (ticks < 0) throw std::runtime_error("cannot read /proc stat of " + std::to_string(pid_));
    return ticks;
}

std::vector<std::string> procStatFields(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(file, line)) return {};
    std::istringstream in(line.substr(line.rfind(')') + 1));
    std::vector<std::string> fields;
    for (std::string field; in >> field;) fields.push_back(field);
    return fields;
}

long long processCpuTicks(pid_t pid) {
    const std::vector<std::string> fields = procStatFields(pid);
    // utime and stime are fields 14 and 15 of the whole line.
    return fields.size() > 12 ? std::stoll(fields[11]) + std::stoll(fields[12]) : -1;
}

std::vector<pid_t> processesOf(const std::string& program, const std::string& display) {
    namespace fs = std::filesystem;
    const fs::path binary = fs::canonical(program);
    std::vector<pid_t> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        // Natively /proc/PID/exe names the binary. Under qemu-user it names
        // the emulator, whose binfmt handler keeps the binary's path ahead of
        // the arguments; the watcher, a fork, has the program's arguments too.
        bool runs = fs::read_symlink(entry.path() / "exe", error) == binary;
        std::ifstream arguments(entry.path() / "cmdline");
        std::string argument;
        for (int k = 0; k < 2 && !runs && std::getline(arguments, argument, '\0'); ++k)
            runs = !argument.empty() && fs::weakly_canonical(argument, error) == binary;
        if (!runs) continue;
        std::ifstream environment(entry.path() / "environ");
        bool here = false;
        for (std::string variable; std::getline(environment, variable, '\0');) here |= variable == "DISPLAY=" + display;
        if (here) found.push_back(pid_t(std::stoi(entry.path().filename().string())));
    }
    return found;
}

}  // namespace kantenwerk::testsupport
