#include "bench_support.h"

#include <GL/freeglut.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

#include "app.h"
#include "child_process.h"
#include "input.h"
#include "orientation.h"
#include "render.h"
#include "x_session.h"

namespace kantenwerk::bench {

double monotonicSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double median(std::vector<double> values)
{
    if (values.empty())
        throw std::invalid_argument("median of nothing");
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string joined(const std::vector<double>& values)
{
    std::string text;
    char number[32];
    for (double value : values) {
        std::snprintf(number, sizeof number, " %.1f", value);
        text += number;
    }
    return text;
}

double cpuSeconds(pid_t pid)
{
    const long long ticks = testsupport::processCpuTicks(pid);
    if (ticks < 0)
        throw std::runtime_error("cannot read /proc stat of " + std::to_string(pid));
    return double(ticks) / double(sysconf(_SC_CLK_TCK));
}

double numberOption(int argc, char** argv, const std::string& name, double fallback)
{
    const std::string prefix = "--" + name + "=";
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind(prefix, 0) == 0)
            return std::stod(argument.substr(prefix.size()));
    }
    return fallback;
}

ProgramWindow::ProgramWindow() : server_(testsupport::ServerKind::FullModes)
{
    setenv("DISPLAY", server_.display().c_str(), 1);
    static char name[] = "kantenwerk";
    static char* argv[] = {name, nullptr};
    int argc = 1;
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutGameModeString("1280x1024:32");
    if (!glutGameModeGet(GLUT_GAME_MODE_POSSIBLE))
        throw std::runtime_error("game mode 1280x1024:32 not possible on " + server_.display());
    glutEnterGameMode();
    new Application(argc, argv);
    glutDisplayFunc(onDisplay);
    glutMouseFunc(onMouse);
    glutKeyboardFunc(onKeyboard);
    glutMotionFunc(onMotion);
    glutIdleFunc(nullptr);
    glutPassiveMotionFunc(nullptr);
    resetState();

    // The background of a drawn frame in the band left of the square.
    testsupport::XSession session(server_.display());
    const bool shown = testsupport::waitUntil(
        [&] {
            glutMainLoopEvent();
            onDisplay();
            glFinish();
            return session.captureArea(4, 4, 1, 1).pixel(0, 0) == testsupport::Rgb{217, 217, 217};
        },
        std::chrono::seconds(10), std::chrono::milliseconds(20));
    if (!shown)
        throw std::runtime_error("no frame of the program reached the screen of " + server_.display());
}

ProgramWindow::~ProgramWindow()
{
    // freeglut treats losing its server as fatal: close the connection first.
    glutLeaveGameMode();
    glutExit();
}

}  // namespace kantenwerk::bench
