#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

namespace kantenwerk::testsupport {

enum class ServerKind {
    FullModes, // Xorg dummy: 1280x1024, 1024x768, 800x600 at 60 Hz
    Only1024,  // Xorg dummy: 1024x768 at 60 Hz only
    NoModes,   // Xvfb 1280x1024x24: no video mode extension at all
    Desktop1600, // Xorg dummy: runs at 1600x1200, offers 1280x1024 at 60 Hz too
    TwoMonitors, // Xorg dummy: DUMMY0 at 1280x1024, room for DUMMY1 at 1920x1080 beside it
};

const char* toString(ServerKind kind);

// An X server of the given kind on a free display, for the lifetime of the
// object. The constructor returns once the server accepts connections and
// throws std::runtime_error (with the log tail) if it does not. The server
// also dies with the test process (PR_SET_PDEATHSIG), so construct it on the
// test's main thread.
class TestServer {
public:
    explicit TestServer(ServerKind kind,
                        std::chrono::milliseconds startLimit = std::chrono::seconds(20));
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    ServerKind kind() const { return kind_; }
    const std::string& display() const { return display_; } // ":N"
    int displayNumber() const { return number_; }
    pid_t pid() const { return pid_; }
    bool isRunning();

    // Last lines of the server's output, for failure messages.
    std::string logTail(int lines = 30) const;

    // Idempotent; the destructor calls it.
    void stop();

private:
    bool start(int number, std::chrono::milliseconds limit, std::string& failure);

    ServerKind kind_;
    std::string tempDir_;
    std::string display_;
    int number_ = -1;
    pid_t pid_ = -1;
};

// A display that takes a connection and never answers, as a hung server
// does. It listens only on the abstract socket Xlib tries first on Linux,
// so it needs no /tmp/.X11-unix, and the number stays taken for others.
class SilentDisplay {
public:
    SilentDisplay(); // throws if no number from 900 to 998 is free
    ~SilentDisplay();
    SilentDisplay(const SilentDisplay&) = delete;
    SilentDisplay& operator=(const SilentDisplay&) = delete;

    const std::string& display() const { return display_; }
    // Accepts the first client's connection and keeps it open; false if none
    // came within limit (scaled like every limit).
    bool acceptClient(std::chrono::milliseconds limit);

private:
    int listener_ = -1;
    int connection_ = -1;
    std::string display_;
};

}  // namespace kantenwerk::testsupport
