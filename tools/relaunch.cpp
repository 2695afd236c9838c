// Starts the program again and again on one dummy Xorg desktop, each start
// at once after the one before has ended, both ways of taking the screen and
// both endings mixed, and checks that every run shows its first frame, ends
// as it was told to and that the desktop is back as found at the end.
#include "child_process.h"
#include "test_server.h"
#include "x_session.h"

#include <X11/extensions/xf86vmode.h>
#include <X11/keysym.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

namespace {

using namespace kantenwerk::testsupport;
using namespace std::chrono_literals;

const std::string gameModeProgram = KANTENWERK_PROGRAM;
// Built against a freeglut whose game mode switches to nothing: the program
// takes the screen its own way.
const std::string ownWayProgram = KANTENWERK_PROBE_NOGAMEMODE;

const Rgb background{217, 217, 217};
const Rgb white{255, 255, 255};
constexpr auto frameLimit = 30s;
constexpr auto exitLimit = 20s;

Size videoMode(::Display* display) {
    int dotClock = 0;
    XF86VidModeModeLine line{};
    if (!XF86VidModeGetModeLine(display, DefaultScreen(display), &dotClock, &line)) return {};
    XFree(line.c_private);
    return {line.hdisplay, line.vdisplay};
}

// View coordinates (-0.5 to 0.5 over the square area, y up) to screen pixels.
Point windowPoint(double viewX, double viewY, Size screen) {
    const int offset = (screen.width - screen.height) / 2;
    return {int(offset + (viewX + 0.5) * screen.height), int((0.5 - viewY) * screen.height)};
}

// The last line the program wrote, after ": ", to keep a failure on one line.
std::string lastLine(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    if (text.empty()) return "";
    const auto start = text.rfind('\n');
    return ": " + (start == std::string::npos ? text : text.substr(start + 1));
}

long long seconds(std::chrono::milliseconds span) {
    return std::chrono::duration_cast<std::chrono::seconds>(span).count();
}

enum class Outcome { Ended, Refused, Failed };

// One run: start, first frame, end. A failure is described in `failure`.
Outcome runOnce(const TestServer& server, XSession& session, const std::string& path, bool byEscape,
                std::string& failure) {
    ChildProcess program(path, {}, {{"DISPLAY", server.display()}});
    // The report comes once the screen is claimed, so no frame of the run
    // before is taken for this one's.
    Size mode;
    const auto hasReported = [&] {
        int width = 0, height = 0;
        if (std::sscanf(program.stdoutText().c_str(), "Starte Kantenwerk.\nBildschirmaufloesung %dx%d", &width,
                        &height) != 2)
            return false;
        mode = {width, height};
        return true;
    };
    waitUntil([&] { return hasReported() || !program.isRunning(); }, frameLimit);
    const bool reported = hasReported();
    if (!reported && !program.isRunning()) {
        const ExitStatus status = program.waitExit(1s);
        if (status.exited && status.code == 1 &&
            program.stdoutText().find("Kantenwerk laeuft bereits auf Anzeige") != std::string::npos)
            return Outcome::Refused;
        failure = "ended before its first frame (" + status.describe() + ")" + lastLine(program.stderrText());
        return Outcome::Failed;
    }
    const Point face = windowPoint(0.1, 0.1, mode);
    if (!reported || !session.waitForPixel(5, 5, [](const Rgb& c) { return c == background; }, frameLimit) ||
        !session.waitForPixel(face.x, face.y, [](const Rgb& c) { return c == white; }, frameLimit)) {
        failure = "no first frame within " + std::to_string(seconds(scaled(frameLimit))) + " s";
        if (!program.isRunning()) failure += " (" + program.waitExit(1s).describe() + ")";
        program.signalGroup(SIGKILL);
        program.waitExit(exitLimit);
        return Outcome::Failed;
    }

    if (byEscape)
        session.tapKey(XK_Escape);
    else
        program.signalGroup(SIGTERM);
    ExitStatus status;
    try {
        status = program.waitExit(exitLimit);
    } catch (const std::exception&) {
        failure = "still running " + std::to_string(seconds(scaled(exitLimit))) + " s after its ending";
        program.signalGroup(SIGKILL);
        program.waitExit(exitLimit);
        return Outcome::Failed;
    }
    const bool expected = byEscape ? status.succeeded() : status.signaled && status.signal == SIGTERM;
    if (!expected) {
        failure = "ended with " + status.describe() + lastLine(program.stderrText());
        return Outcome::Failed;
    }
    return Outcome::Ended;
}

int relaunch(int cycles) {
    const auto begun = std::chrono::steady_clock::now();
    TestServer server(ServerKind::Desktop1600);
    XSession session(server.display());
    const Size desktop{1600, 1200};
    if (!(videoMode(session.display()) == desktop)) {
        std::fprintf(stderr, "kantenwerk_relaunch: the server did not start at 1600x1200\n");
        return 1;
    }

    int ownWay = 0, escape = 0, refused = 0, failed = 0;
    for (int k = 0; k < cycles; ++k) {
        // Way and ending vary independently: every pair of the two comes up.
        const bool own = k % 2 == 1;
        const bool byEscape = (k / 2) % 2 == 0;
        ownWay += own;
        escape += byEscape;
        std::string failure;
        switch (runOnce(server, session, own ? ownWayProgram : gameModeProgram, byEscape, failure)) {
        case Outcome::Ended: break;
        case Outcome::Refused:
            ++refused;
            std::fprintf(stderr, "relaunch: cycle %d (%s, %s): refused as already running\n", k + 1,
                         own ? "own way" : "game mode", byEscape ? "Escape" : "SIGTERM");
            break;
        case Outcome::Failed:
            ++failed;
            std::fprintf(stderr, "relaunch: cycle %d (%s, %s): %s\n", k + 1, own ? "own way" : "game mode",
                         byEscape ? "Escape" : "SIGTERM", failure.c_str());
            break;
        }
        if ((k + 1) % 50 == 0 && k + 1 < cycles)
            std::fprintf(stderr, "relaunch: %d of %d cycles, %d refused, %d failed\n", k + 1, cycles, refused,
                         failed);
    }

    waitUntil([&] { return videoMode(session.display()) == desktop; }, 10s, 50ms);
    const Size mode = videoMode(session.display());
    std::size_t left = 0;
    waitUntil(
        [&] {
            left = processesOf(gameModeProgram, server.display()).size() +
                   processesOf(ownWayProgram, server.display()).size();
            return left == 0;
        },
        10s, 50ms);
    const auto taken = std::chrono::steady_clock::now() - begun;

    std::string leftText;
    if (left != 0) leftText = ", " + std::to_string(left) + (left == 1 ? " process" : " processes") + " left";
    std::printf("relaunch: %d cycles (%d own way, %d Escape), %d refused, %d failed, desktop %dx%d at the end%s, "
                "%lld s\n",
                cycles, ownWay, escape, refused, failed, mode.width, mode.height, leftText.c_str(),
                static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(taken).count()));
    return refused == 0 && failed == 0 && mode == desktop && left == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    char* end = nullptr;
    const long cycles = argc == 2 ? std::strtol(argv[1], &end, 10) : 0;
    if (argc != 2 || *end != '\0' || cycles < 1 || cycles > 1000000) {
        std::fprintf(stderr, "usage: %s CYCLES\n"
                             "Starts kantenwerk CYCLES times in a row on a 1600x1200 dummy Xorg desktop,\n"
                             "game mode and its own way, ended by Escape and by SIGTERM, and checks\n"
                             "each run and the desktop at the end.\n",
                     argv[0]);
        return 2;
    }
    try {
        return relaunch(int(cycles));
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "kantenwerk_relaunch: %s\n", failure.what());
        return 1;
    }
}
