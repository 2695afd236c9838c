#include "test_server.h"

#include "child_process.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#ifndef KANTENWERK_XORG_DIR
#error "KANTENWERK_XORG_DIR must name the directory holding the Xorg configs"
#endif

namespace kantenwerk::testsupport {

namespace {

namespace fs = std::filesystem;

std::string lockPath(int number) { return "/tmp/.X" + std::to_string(number) + "-lock"; }
std::string socketPath(int number) { return "/tmp/.X11-unix/X" + std::to_string(number); }

// The pid the server wrote into its lock file, or -1.
pid_t lockOwner(int number) {
    std::ifstream file(lockPath(number));
    long owner = -1;
    if (!(file >> owner)) return -1;
    return static_cast<pid_t>(owner);
}

bool exists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

int pickFreeDisplay(const std::vector<int>& tried) {
    // Start where the pid points, to spread concurrent test processes.
    const int start = static_cast<int>(getpid() % 800);
    for (int offset = 0; offset < 800; ++offset) {
        const int number = 100 + (start + offset) % 800;
        if (std::find(tried.begin(), tried.end(), number) != tried.end()) continue;
        if (!exists(lockPath(number)) && !exists(socketPath(number))) return number;
    }
    throw std::runtime_error("no free X display number between 100 and 899");
}

std::string tailLines(const std::string& path, int lines) {
    std::ifstream file(path);
    std::deque<std::string> kept;
    std::string line;
    while (std::getline(file, line)) {
        kept.push_back(line);
        if (static_cast<int>(kept.size()) > lines) kept.pop_front();
    }
    std::string text;
    for (const auto& entry : kept) text += entry + "\n";
    return text;
}

// Xorg's (EE) lines, less those it always logs here: no D-Bus, and the
// mouse and kbd drivers it falls back to with AutoAddDevices off.
std::string errorLines(const std::string& path, int limit) {
    std::ifstream file(path);
    std::string text;
    int count = 0;
    for (std::string line; std::getline(file, line) && count < limit;) {
        if (line.find("(EE)") == std::string::npos) continue;
        bool routine = false;
        for (const char* noise : {"dbus", "warning, (EE) error", "\"mouse\"", "\"kbd\"", "`mouse'",
                                  "`kbd'", "\"libinput\""}) {
            routine = routine || line.find(noise) != std::string::npos;
        }
        if (routine) continue;
        text += line + "\n";
        ++count;
    }
    return text;
}

// What a server logs when another one took its display number first.
bool lostDisplayRace(const std::string& log) {
    for (const char* sign : {"already active", "Address already in use", "listening sockets"}) {
        if (log.find(sign) != std::string::npos) return true;
    }
    return false;
}

// Xorg itself, not /usr/bin/Xorg: with xserver-xorg-legacy installed that is
// a wrapper which turns away users who are not on the console.
// KANTENWERK_TEST_XORG names another server, for the check of one that
// cannot start.
std::string xorgBinary() {
    if (const char* chosen = std::getenv("KANTENWERK_TEST_XORG"); chosen && *chosen) return chosen;
    return exists("/usr/lib/xorg/Xorg") ? "/usr/lib/xorg/Xorg" : "Xorg";
}

std::vector<std::string> serverCommand(ServerKind kind, int number, const std::string& tempDir) {
    const std::string display = ":" + std::to_string(number);
    // Only the abstract socket: a server of a user makes /tmp/.X11-unix its
    // own where none is yet, or cannot listen there, as Xorg cannot.
    if (kind == ServerKind::NoModes) {
        return {"Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-nolisten", "unix", "-noreset"};
    }
    const char* const file = kind == ServerKind::FullModes     ? "/full.conf"
                             : kind == ServerKind::Only1024    ? "/only1024.conf"
                             : kind == ServerKind::Desktop1600 ? "/desktop1600.conf"
                                                               : "/twomonitors.conf";
    const std::string config = std::string(KANTENWERK_XORG_DIR) + file;
    if (!exists(config)) throw std::runtime_error("missing Xorg config " + config);
    return {xorgBinary(), display,      "-config",  config,        "-noreset",
            "-nolisten", "tcp",        "-nolisten", "unix", "-logfile", tempDir + "/Xorg.log",
            "-novtswitch", "-sharevts"};
}

}  // namespace

const char* toString(ServerKind kind) {
    switch (kind) {
    case ServerKind::FullModes: return "FullModes";
    case ServerKind::Only1024: return "Only1024";
    case ServerKind::NoModes: return "NoModes";
    case ServerKind::Desktop1600: return "Desktop1600";
    case ServerKind::TwoMonitors: return "TwoMonitors";
    }
    return "?";
}

TestServer::TestServer(ServerKind kind, std::chrono::milliseconds startLimit) : kind_(kind) {
    char pattern[] = "/tmp/kantenwerk-xserver-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error(std::string("mkdtemp: ") + strerror(errno));
    tempDir_ = pattern;

    // A race with another test process for the same number makes our
    // server exit at once; a few attempts on other numbers cover that.
    std::string failures;
    std::vector<int> tried;
    try {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const int number = pickFreeDisplay(tried);
            tried.push_back(number);
            std::string failure;
            if (start(number, startLimit, failure)) return;
            failures += failure;
            if (!lostDisplayRace(failure)) break;
        }
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(tempDir_, ignored);
        throw;
    }
    throw std::runtime_error(std::string("cannot start ") + toString(kind) + " X server (logs kept in " +
                             tempDir_ + "):\n" + failures);
}

bool TestServer::start(int number, std::chrono::milliseconds limit, std::string& failure) {
    const std::string logPath = tempDir_ + "/server-" + std::to_string(number) + ".log";
    const int logFd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (logFd < 0) throw std::runtime_error("cannot create " + logPath + ": " + strerror(errno));
    detail::SpawnRequest request;
    request.argv = serverCommand(kind_, number, tempDir_);
    request.stdoutFd = logFd;
    request.stderrFd = logFd;
    // SIGTERM lets the server remove its lock file and socket.
    request.deathSignal = SIGTERM;
    try {
        pid_ = detail::spawn(request);
    } catch (...) {
        close(logFd);
        throw;
    }
    close(logFd);
    number_ = number;
    display_ = ":" + std::to_string(number);

    bool died = false;
    const bool ready = waitUntil(
        [&] {
            if (!isRunning()) {
                died = true;
                return true;
            }
            // Only our own server counts, not one that won a race for the number.
            if (lockOwner(number) != pid_) return false;
            Display* connection = XOpenDisplay(display_.c_str());
            if (!connection) return false;
            XCloseDisplay(connection);
            return true;
        },
        limit, std::chrono::milliseconds(10));
    if (ready && !died) return true;

    failure = "display " + display_ + ": " +
              (died ? std::string("server exited during start")
                    : "timed out after " + std::to_string(limit.count()) + " ms") +
              "\n" + tailLines(logPath, 20);
    // Xorg's stderr says only that it failed; its log file says why.
    const std::string errors = errorLines(tempDir_ + "/Xorg.log", 20);
    if (!errors.empty()) failure += "Errors in " + tempDir_ + "/Xorg.log:\n" + errors;
    stop();
    return false;
}

bool TestServer::isRunning() {
    if (pid_ <= 0) return false;
    const pid_t got = waitpid(pid_, nullptr, WNOHANG);
    if (got == pid_ || (got < 0 && errno == ECHILD)) {
        pid_ = -1;
        return false;
    }
    return true;
}

void TestServer::stop() {
    if (pid_ > 0) {
        const pid_t pid = pid_;
        kill(pid, SIGTERM);
        if (!waitUntil([&] { return !isRunning(); }, std::chrono::seconds(5))) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            pid_ = -1;
        }
        // A killed server leaves its lock and socket behind.
        if (number_ >= 0 && lockOwner(number_) == pid) {
            fs::remove(lockPath(number_));
            fs::remove(socketPath(number_));
        }
    }
}

TestServer::~TestServer() {
    stop();
    std::error_code ignored;
    if (!tempDir_.empty()) fs::remove_all(tempDir_, ignored);
}

std::string TestServer::logTail(int lines) const {
    return tailLines(tempDir_ + "/server-" + std::to_string(number_) + ".log", lines);
}

SilentDisplay::SilentDisplay() {
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error(std::string("socket: ") + strerror(errno));
    for (int number = 900; number < 999; ++number) {
        if (exists(lockPath(number))) continue;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        // Abstract: a leading NUL, then the name without one at its end.
        const std::string name = socketPath(number);
        name.copy(address.sun_path + 1, name.size());
        const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(listener_, 1) == 0) {
            display_ = ":" + std::to_string(number);
            return;
        }
    }
    close(listener_);
    throw std::runtime_error("no free X display number between 900 and 998");
}

SilentDisplay::~SilentDisplay() {
    if (connection_ >= 0) close(connection_);
    close(listener_);
}

bool SilentDisplay::acceptClient(std::chrono::milliseconds limit) {
    pollfd connecting{listener_, POLLIN, 0};
    if (poll(&connecting, 1, int(scaled(limit).count())) != 1) return false;
    connection_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return connection_ >= 0;
}

}  // namespace kantenwerk::testsupport
