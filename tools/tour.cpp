// A short scripted session with the real program on a headless X server: it
// starts kantenwerk, plays drags, keys and toolbar clicks through XTest and
// saves the screen after each step, so the program can be seen without a
// desktop. The README's pictures come from here too.
#include "child_process.h"
#include "test_server.h"
#include "x_session.h"

#include <X11/keysym.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace kantenwerk::testsupport;
using namespace std::chrono_literals;

const std::string programPath = KANTENWERK_PROGRAM;
constexpr unsigned leftButton = 1;
constexpr unsigned rightButton = 3;
const Point facesButton{1002, 1004}; // toolbar button 1 on the 1280x1024 screen

struct Step {
    const char* file;        // picture name in the output folder
    const char* description; // what the step shows
    std::function<void(XSession&)> act;
};

bool samePicture(const ScreenImage& a, const ScreenImage& b) {
    return a.width() == b.width() && a.height() == b.height() && a.rgb() == b.rgb();
}

// Animations run in idle calls until they end, so the picture is final once
// it differs from `before` and stays the same over two captures in a row.
ScreenImage settledPicture(XSession& session, const ScreenImage& before) {
    ScreenImage previous = session.capture();
    ScreenImage current;
    const bool settled = waitUntil(
        [&] {
            current = session.capture();
            const bool still = samePicture(current, previous) && !samePicture(current, before);
            previous = current;
            return still;
        },
        15s, 100ms);
    if (!settled) {
        throw std::runtime_error(samePicture(current, before) ? "the picture did not change"
                                                              : "the picture did not settle");
    }
    return current;
}

// The perspective ramp advances one step per idle call while the button is
// held and falls back from wherever it got to, so the press waits for the
// ramp's end: otherwise the resting picture would depend on the timing.
std::function<void(XSession&)> dragging(unsigned button, Point from, Point to) {
    return [=](XSession& session) {
        session.movePointer(from.x, from.y);
        const ScreenImage before = session.capture();
        session.pressButton(button);
        settledPicture(session, before);
        constexpr int moves = 12;
        for (int move = 1; move <= moves; ++move) {
            std::this_thread::sleep_for(15ms); // paced like a hand
            session.movePointer(from.x + (to.x - from.x) * move / moves,
                                from.y + (to.y - from.y) * move / moves);
        }
        session.releaseButton(button);
    };
}

std::function<void(XSession&)> clicking(Point at) {
    return [=](XSession& session) {
        session.movePointer(at.x, at.y);
        session.clickButton(leftButton);
    };
}

std::function<void(XSession&)> typing(unsigned long keysym) {
    return [=](XSession& session) { session.tapKey(keysym); };
}

const std::vector<Step> steps = {
    {"01-start.png", "the start picture", [](XSession&) {}},
    {"02-drag-upper-left.png", "left drag, upper left: turns slot 2",
     dragging(leftButton, {300, 180}, {420, 300})},
    {"03-drag-upper-right.png", "left drag, upper right: turns slot 1 (also shown lower left)",
     dragging(leftButton, {900, 300}, {820, 180})},
    {"04-drag-lower-left.png", "left drag, lower left: turns slot 1 again",
     dragging(leftButton, {400, 700}, {300, 820})},
    {"05-drag-lower-right.png", "left drag, lower right: turns slot 3",
     dragging(leftButton, {780, 640}, {900, 720})},
    {"06-right-drag.png", "right drag, upper left: turns slot 2 about the viewing axis",
     dragging(rightButton, {300, 250}, {420, 250})},
    {"07-scrambled.png", "Z: scrambles the three slots", typing(XK_z)},
    {"08-faces-dark.png", "toolbar button 1: fades the faces to black", clicking(facesButton)},
    {"09-faces-back.png", "toolbar button 1 again: fades them back", clicking(facesButton)},
    {"10-reset.png", "A: resets all orientations", typing(XK_a)},
};

void printIndented(const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) std::printf("  | %s\n", line.c_str());
}

std::string endedText(ChildProcess& program) {
    return "kantenwerk ended (" + program.waitExit(1s).describe() + "); its output:\n" +
           program.stdoutText() + program.stderrText();
}

int runTour(const fs::path& outDir) {
    fs::create_directories(outDir);
    std::printf("Starting a headless X server (Xorg, dummy driver, 1280x1024)...\n");
    TestServer server(ServerKind::FullModes);
    XSession session(server.display());
    ScreenImage picture = session.capture();

    std::printf("Starting %s on display %s:\n", programPath.c_str(), server.display().c_str());
    ChildProcess program(programPath, {}, {{"DISPLAY", server.display()}});
    const bool started = waitUntil(
        [&] {
            return program.stdoutText().find("hertz\n") != std::string::npos || !program.isRunning();
        },
        10s);
    if (!program.isRunning()) throw std::runtime_error(endedText(program));
    if (!started) throw std::runtime_error("kantenwerk printed no start-up message within 10 s");
    printIndented(program.stdoutText());

    const fs::path folder = fs::absolute(outDir);
    std::printf("Pictures in %s:\n", folder.c_str());
    for (const Step& step : steps) {
        step.act(session);
        try {
            picture = settledPicture(session, picture);
        } catch (const std::runtime_error& failure) {
            throw std::runtime_error(std::string(step.file) + ": " +
                                     (program.isRunning() ? failure.what() : endedText(program)));
        }
        picture.savePng((folder / step.file).string());
        std::printf("  %-24s %s\n", step.file, step.description);
        std::fflush(stdout);
    }

    session.tapKey(XK_Escape);
    const ExitStatus status = program.waitExit(5s);
    std::printf("Escape ended kantenwerk with %s.\n", status.describe().c_str());
    return status.succeeded() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n"
                             "Runs kantenwerk on a headless X server of its own and\n"
                             "saves a picture after each step of a short session into OUTDIR.\n",
                     argv[0]);
        return 2;
    }
    try {
        return runTour(argv[1]);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "kantenwerk_tour: %s\n", failure.what());
        return 1;
    }
}
