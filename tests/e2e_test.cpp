// The real program on its own X server, used as a user would: keys and
// pointer through XTest, the screen through captures, plus its console
// output and exit status. Orientations after real input come from the probe
// build of the program, which reports them on standard error at exit.
// gtest comes before Xlib, whose macros (None, Bool) clash with it.
#include <gtest/gtest.h>

#include "child_process.h"
#include "claim.h"
#include "probe_report.h"
#include "test_server.h"
#include "x_session.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/xf86vmode.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

namespace {

using namespace kantenwerk::testsupport;
using namespace std::chrono_literals;

const std::string plainProgram = KANTENWERK_PROGRAM;
const std::string probeProgram = KANTENWERK_PROBE;
// The probe linked against a freeglut whose game mode switches to nothing,
// as on every architecture but x86: the program takes the screen itself.
const std::string ownWayProgram = KANTENWERK_PROBE_NOGAMEMODE;
// The program, but the server shuts down the first holder of the screen it
// finds right after it has read who that is.
const std::string vanishingHolderProgram = KANTENWERK_HOLDER_VANISHES;

const Rgb background{217, 217, 217};
const Rgb white{255, 255, 255};
const Rgb black{0, 0, 0};

const Matrix startOrientation = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -1, 1};

// View coordinates (-0.5 to 0.5 over the square area, y up) to window pixels.
Point windowPoint(double viewX, double viewY, Size screen)
{
    const int offset = (screen.width - screen.height) / 2;
    return {int(offset + (viewX + 0.5) * screen.height), int((0.5 - viewY) * screen.height)};
}

void clickToolbar(XSession& session, int button, unsigned mouseButton)
{
    session.movePointer(962 + 40 * button, 1004);  // button centres, 1 to 4 from the left
    session.clickButton(mouseButton);
}

::testing::AssertionResult samePicture(const ScreenImage& actual, const ScreenImage& expected)
{
    int differing = 0;
    for (std::size_t k = 0; k < actual.rgb().size(); k += 3)
        differing += !std::equal(&actual.rgb()[k], &actual.rgb()[k] + 3, &expected.rgb()[k]);
    if (differing == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differing << " pixels differ";
}

// A row of a table again, with the program taking the screen its own way.
template <typename Case>
Case ownWay(Case row)
{
    row.name += "WithoutGameMode";
    row.ownWay = true;
    return row;
}

// Every row of a table, through game mode and then its own way.
template <typename Case>
std::vector<Case> bothWays(std::vector<Case> rows)
{
    const std::size_t count = rows.size();
    for (std::size_t k = 0; k < count; ++k) rows.push_back(ownWay(rows[k]));
    return rows;
}

std::string programFor(bool ownWay, const std::string& gameModeProgram = plainProgram)
{
    return ownWay ? ownWayProgram : gameModeProgram;
}

// One X server and the program on it, which may be started more than once.
class Kantenwerk : public ::testing::Test {
protected:
    void startServer(ServerKind kind = ServerKind::FullModes)
    {
        server = std::make_unique<TestServer>(kind);
        session = std::make_unique<XSession>(server->display());
    }

    void launch(const std::string& path)
    {
        program.reset();
        program = std::make_unique<ChildProcess>(path, std::vector<std::string>{},
                                                 std::map<std::string, std::string>{{"DISPLAY", server->display()}});
    }

    // Starts the program and waits until its first frame is on the screen:
    // grey bars, the grey cross at the centre, a white face in each quadrant.
    void startProgram(const std::string& path = plainProgram)
    {
        if (!server) startServer();
        launch(path);
        const Size screen = session->screenSize();
        const std::pair<Point, Rgb> expected[] = {
            {{5, 5}, background}, {{screen.width - 5, screen.height - 5}, background},
            {windowPoint(0, 0, screen), background},   {windowPoint(0.1, 0.1, screen), white},
            {windowPoint(-0.1, 0.1, screen), white},   {windowPoint(-0.1, -0.1, screen), white},
            {windowPoint(0.1, -0.1, screen), white}};
        const bool shown = waitUntil([&] {
            const ScreenImage picture = session->capture();
            return std::all_of(std::begin(expected), std::end(expected),
                               [&](const auto& at) { return picture.pixel(at.first.x, at.first.y) == at.second; });
        }, 20s, 20ms);
        if (!shown) throw std::runtime_error("no first frame\n" + program->stdoutText() + program->stderrText());
        startPicture = session->capture();
    }

    // Polls captures until the picture has not changed for a second: every
    // animation has ended. A shorter span could take a program stalled on a
    // busy machine for one at rest.
    ScreenImage restingPicture()
    {
        ScreenImage resting = session->capture();
        auto since = std::chrono::steady_clock::now();
        const bool rested = waitUntil([&] {
            ScreenImage next = session->capture();
            if (next.rgb() == resting.rgb()) return std::chrono::steady_clock::now() - since >= scaled(1s);
            resting = std::move(next);
            since = std::chrono::steady_clock::now();
            return false;
        }, 30s);
        if (!rested) throw std::runtime_error("the picture never came to rest");
        return resting;
    }

    bool waitForChange(const ScreenImage& before)
    {
        return waitUntil([&] { return session->capture().rgb() != before.rgb(); }, 10s);
    }

    // The resting picture after an action that must change what is shown.
    ScreenImage pictureAfterChange(const ScreenImage& before)
    {
        if (!waitForChange(before)) throw std::runtime_error("the picture did not change");
        return restingPicture();
    }

    // Ends the program with Escape and returns the probe's report.
    ProbeReport quit()
    {
        session->tapKey(XK_Escape);
        const ExitStatus status = program->waitExit(10s);
        EXPECT_TRUE(status.succeeded()) << status.describe();
        // The next start must not take this run's last frame for its first.
        EXPECT_TRUE(session->waitForPixel(5, 5, [](const Rgb& c) { return c != background; }, 10s));
        return parseProbeReport(program->stderrText());
    }

    // The first frame of the run: the mode it reports, then that mode's
    // square on the screen. The report comes once the screen is claimed,
    // so no frame of an earlier run is taken for it.
    Size waitForFrame()
    {
        int width = 0, height = 0;
        EXPECT_TRUE(waitUntil([&] {
            return std::sscanf(program->stdoutText().c_str(), "Starte Kantenwerk.\nBildschirmaufloesung %dx%d",
                               &width, &height) == 2;
        }, 20s)) << program->stdoutText() << program->stderrText();
        const Point face = windowPoint(0.1, 0.1, {width, height});
        EXPECT_TRUE(session->waitForPixel(5, 5, [](const Rgb& c) { return c == background; }, 20s));
        EXPECT_TRUE(session->waitForPixel(face.x, face.y, [](const Rgb& c) { return c == white; }, 20s));
        return {width, height};
    }

    // Ends the program with Escape (signal 0) or the signal to its process
    // group; the shell must see that ending.
    void endBy(int signal)
    {
        if (signal == 0)
            session->tapKey(XK_Escape);
        else
            program->signalGroup(signal);
        const ExitStatus status = program->waitExit(10s);
        if (signal == 0)
            EXPECT_TRUE(status.succeeded()) << status.describe() << "\n" << program->stderrText();
        else
            EXPECT_TRUE(status.signaled && status.signal == signal) << status.describe();
    }

    std::unique_ptr<TestServer> server;
    std::unique_ptr<XSession> session;
    std::unique_ptr<ChildProcess> program;  // destroyed before the server
    ScreenImage startPicture;
};

template <typename Case>
class KantenwerkWith : public Kantenwerk, public ::testing::WithParamInterface<Case> {};

// ---- start-up ------------------------------------------------------------

struct StartupCase {
    std::string name;
    ServerKind kind;
    std::string output;
    bool runs;  // false: exits 1 without a window
    bool ownWay = false;
};

void PrintTo(const StartupCase& param, std::ostream* out) { *out << param.name; }

using StartsUp = KantenwerkWith<StartupCase>;

TEST_P(StartsUp, ReportsTheModeOnStandardOutputAndShowsTheAreaOrExitsWithStatusOne)
{
    const StartupCase& param = GetParam();
    startServer(param.kind);
    // Every window the program maps is reported to us as a MapNotify on the root.
    ::Display* display = session->display();
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    session->sync();
    if (param.runs) {
        startProgram(programFor(param.ownWay));
        // Flushed at once: readable while the program still runs.
        ASSERT_TRUE(waitUntil([&] { return program->stdoutText() == param.output; }, 5s)) << program->stdoutText();
        EXPECT_TRUE(program->isRunning());
        quit();
    } else {
        launch(programFor(param.ownWay));
        const ExitStatus status = program->waitExit(20s);
        EXPECT_TRUE(status.exited && status.code == 1) << status.describe();
    }
    EXPECT_EQ(program->stdoutText(), param.output);
    session->sync();
    XEvent event;
    EXPECT_EQ(XCheckTypedEvent(display, MapNotify, &event) == True, param.runs);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, StartsUp,
    ::testing::ValuesIn(bothWays<StartupCase>({
        StartupCase{"FullModes", ServerKind::FullModes,
                    "Starte Kantenwerk.\nBildschirmaufloesung 1280x1024 Pixel bei 32 bit Farbtiefe und 60 hertz\n",
                    true},
        StartupCase{"Only1024", ServerKind::Only1024,
                    "Starte Kantenwerk.\nBildschirmaufloesung 1024x768 Pixel bei 32 bit Farbtiefe und 60 hertz\n",
                    true},
        StartupCase{"NoModes", ServerKind::NoModes,
                    "Bildschirmmodi werden von der Grafikkarte nicht unterst\xC3\xBCtzt.\n", false}})),
    ::testing::PrintToStringParamName());

class WithoutDisplay : public ::testing::TestWithParam<std::string> {};

TEST_P(WithoutDisplay, LeavesTheMessageToTheToolkitAndFailsWithoutACrash)
{
    ASSERT_FALSE(std::filesystem::exists("/tmp/.X11-unix/X999"));
    ChildProcess program(plainProgram, {}, {{"DISPLAY", GetParam()}});
    const ExitStatus status = program.waitExit(10s);
    EXPECT_TRUE(status.exited && status.code != 0) << status.describe();
    EXPECT_NE(program.stderrText(), "");
    EXPECT_EQ(program.stdoutText(), "");
}

INSTANTIATE_TEST_SUITE_P(Displays, WithoutDisplay, ::testing::Values(":999", ""),
                         [](const auto& info) { return info.param.empty() ? "Empty" : "NoServer"; });

// A server that takes the connection and never answers holds the start in
// its first X request; SIGTERM must still end the program there.
TEST(HungStart, EndsBySignal)
{
    SilentDisplay silent;
    ChildProcess program(plainProgram, {}, {{"DISPLAY", silent.display()}});
    ASSERT_TRUE(silent.acceptClient(10s));
    program.signalGroup(SIGTERM);
    const ExitStatus status = program.waitExit(10s);
    EXPECT_TRUE(status.signaled && status.signal == SIGTERM) << status.describe();
    EXPECT_TRUE(waitUntil([&] { return processesOf(plainProgram, silent.display()).empty(); }, 5s));
}

// ---- commands, from the keyboard and the toolbar ---------------------------

struct ActionCase {
    std::string name;
    std::function<void(XSession&)> act;
    bool ownWay = false;
    bool stuckWindowManager = false;  // one that never answers, the slowest there is
};

void PrintTo(const ActionCase& param, std::ostream* out) { *out << param.name; }

std::function<void(XSession&)> pressToolbar(int button, unsigned mouseButton)
{
    return [=](XSession& session) { clickToolbar(session, button, mouseButton); };
}

std::function<void(XSession&)> tapKeys(std::vector<unsigned long> keysyms)
{
    return [=](XSession& session) {
        for (const unsigned long keysym : keysyms) session.tapKey(keysym);
    };
}

using Ends = KantenwerkWith<ActionCase>;

// The keys reach the program at once whatever a window manager does: its
// window never meets one, as game mode's never does.
TEST_P(Ends, WithStatusZero)
{
    ::Display* display = nullptr;
    if (GetParam().stuckWindowManager) {
        startServer();
        display = session->display();
        XSelectInput(display, DefaultRootWindow(display), SubstructureRedirectMask);
        session->sync();
    }
    startProgram(programFor(GetParam().ownWay));
    GetParam().act(*session);
    const ExitStatus status = program->waitExit(10s);
    EXPECT_TRUE(status.succeeded()) << status.describe();
    XEvent event;
    if (display != nullptr) {
        EXPECT_FALSE(XCheckTypedEvent(display, MapRequest, &event) || XCheckTypedEvent(display, ConfigureRequest, &event))
            << "the window manager was asked";
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, Ends,
                         ::testing::Values(ActionCase{"Escape", tapKeys({XK_Escape})},
                                           ActionCase{"UpperQ", tapKeys({XK_Q})},
                                           ActionCase{"LowerQ", tapKeys({XK_q})},
                                           ActionCase{"ExitButtonLeft", pressToolbar(4, 1)},
                                           ActionCase{"ExitButtonMiddle", pressToolbar(4, 2)},
                                           ActionCase{"ExitButtonRight", pressToolbar(4, 3)},
                                           ownWay(ActionCase{"Escape", tapKeys({XK_Escape})}),
                                           ownWay(ActionCase{"LowerQ", tapKeys({XK_q})}),
                                           ownWay(ActionCase{"ExitButtonLeft", pressToolbar(4, 1)}),
                                           ActionCase{"EscapeUnderStuckWindowManager", tapKeys({XK_Escape}), false, true},
                                           ownWay(ActionCase{"EscapeUnderStuckWindowManager", tapKeys({XK_Escape}),
                                                             false, true})),
                         ::testing::PrintToStringParamName());

// The generator is never seeded, so every run's first scramble is the same;
// keys outside the command table must not disturb it. Taking the screen its
// own way, the program shows the very pictures of game mode.
using FirstScramble = KantenwerkWith<ActionCase>;

TEST_P(FirstScramble, IsTheSameInEveryRunAndTurnsAllThreeSlots)
{
    startProgram(probeProgram);
    const ScreenImage expectedStart = startPicture;
    session->tapKey(XK_z);
    const ScreenImage expectedPicture = pictureAfterChange(startPicture);
    const ProbeReport expected = quit();

    startProgram(programFor(GetParam().ownWay, probeProgram));
    EXPECT_TRUE(samePicture(startPicture, expectedStart));
    GetParam().act(*session);
    EXPECT_TRUE(samePicture(pictureAfterChange(startPicture), expectedPicture));
    const ProbeReport actual = quit();
    EXPECT_EQ(actual.matrices, expected.matrices);
    EXPECT_EQ(actual.activeSlot, 3);
    for (const char* slot : {"slot1", "slot2", "slot3"}) EXPECT_NE(actual.matrices.at(slot), startOrientation) << slot;
    EXPECT_EQ(actual.matrices.at("working"), actual.matrices.at("slot3"));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, FirstScramble,
    ::testing::Values(ActionCase{"LowerZ", tapKeys({XK_z})}, ActionCase{"UpperZ", tapKeys({XK_Z})},
                      ActionCase{"UnlistedKeysThenZ",
                                 tapKeys({XK_1, XK_space, XK_Return, XK_x, XK_Tab, XK_F1, XK_Left, XK_z})},
                      ActionCase{"ScrambleButtonLeft", pressToolbar(2, 1)},
                      ActionCase{"ScrambleButtonMiddle", pressToolbar(2, 2)},
                      ownWay(ActionCase{"LowerZ", tapKeys({XK_z})}),
                      ownWay(ActionCase{"ScrambleButtonLeft", pressToolbar(2, 1)})),
    ::testing::PrintToStringParamName());

using Reset = KantenwerkWith<ActionCase>;

TEST_P(Reset, JoinsTheFourQuartersAgainAfterAScramble)
{
    startProgram();
    session->tapKey(XK_z);
    ASSERT_TRUE(waitForChange(startPicture));
    GetParam().act(*session);
    EXPECT_TRUE(waitUntil([&] { return session->capture().rgb() == startPicture.rgb(); }, 10s))
        << samePicture(session->capture(), startPicture).message();
}

INSTANTIATE_TEST_SUITE_P(Commands, Reset,
                         ::testing::Values(ActionCase{"UpperA", tapKeys({XK_A})},
                                           ActionCase{"LowerA", tapKeys({XK_a})},
                                           ActionCase{"ResetButtonLeft", pressToolbar(3, 1)},
                                           ActionCase{"ResetButtonRight", pressToolbar(3, 3)}),
                         ::testing::PrintToStringParamName());

class FacesButton : public KantenwerkWith<unsigned> {};

TEST_P(FacesButton, FadesTheFacesToBlackAndASecondPressBringsThemBack)
{
    startProgram();
    const Point face = windowPoint(0.1, 0.1, session->screenSize());
    clickToolbar(*session, 1, GetParam());
    EXPECT_TRUE(session->waitForPixel(face.x, face.y, [](const Rgb& c) { return c == black; }, 10s));
    clickToolbar(*session, 1, GetParam());
    EXPECT_TRUE(session->waitForPixel(face.x, face.y, [](const Rgb& c) { return c == white; }, 10s));
}

INSTANTIATE_TEST_SUITE_P(MouseButtons, FacesButton, ::testing::Values(1u, 2u, 3u),
                         [](const auto& info) { return "Button" + std::to_string(info.param); });

// ---- drags ---------------------------------------------------------------

struct DragCase {
    std::string name;
    unsigned mouseButton;
    Point from, to;
    int slot;       // shown in the quadrant of the press
    Matrix turned;  // its orientation after the drag
    bool ownWay = false;
};

void PrintTo(const DragCase& param, std::ostream* out) { *out << param.name; }

using Drag = KantenwerkWith<DragCase>;

TEST_P(Drag, TurnsOnlyTheSlotOfTheQuadrantWhereItStarted)
{
    const DragCase& param = GetParam();
    startProgram(programFor(param.ownWay, probeProgram));
    session->drag(param.mouseButton, param.from, param.to, 16);
    const ProbeReport result = quit();
    for (int slot = 1; slot <= 3; ++slot) {
        const Matrix& actual = result.matrices.at("slot" + std::to_string(slot));
        const Matrix& expected = slot == param.slot ? param.turned : startOrientation;
        for (int k = 0; k < 16; ++k) EXPECT_NEAR(actual[k], expected[k], 1e-4) << "slot" << slot << " m" << k;
    }
    EXPECT_EQ(result.matrices.at("working"), result.matrices.at("slot" + std::to_string(param.slot)));
    EXPECT_EQ(result.activeSlot, param.slot);
}

const float half = 0.70710678f;

INSTANTIATE_TEST_SUITE_P(
    Buttons, Drag,
    ::testing::ValuesIn(bothWays<DragCase>({
        // Half the square to the right, on into the upper right quadrant: a
        // quarter turn about the vertical axis, the front moving right.
        DragCase{"LeftFromUpperLeftIntoUpperRight", 1, {300, 300}, {812, 300}, 2,
                 {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, -1, 1}},
        // A quarter of the square to the right: 45 degrees clockwise about the viewing axis.
        DragCase{"RightInLowerRight", 3, {700, 700}, {956, 700}, 3,
                 {half, half, 0, 0, -half, half, 0, 0, 0, 0, 1, 0, 0, 0, -1, 1}}})),
    ::testing::PrintToStringParamName());

// ---- rest ----------------------------------------------------------------

// Once every animation has ended the program must sleep in the event loop.
using AtRest = KantenwerkWith<ActionCase>;

TEST_P(AtRest, UsesNoCpu)
{
    startProgram(programFor(GetParam().ownWay));
    GetParam().act(*session);
    restingPicture();
    const long long before = program->cpuTicks();
    std::this_thread::sleep_for(2s);  // the measurement itself
    const long long used = program->cpuTicks() - before;
    RecordProperty("ticks", std::to_string(used));
    EXPECT_EQ(used, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Animations, AtRest,
    ::testing::Values(ActionCase{"AfterStartUp", [](XSession&) {}},
                      ownWay(ActionCase{"AfterStartUp", [](XSession&) {}}),
                      ActionCase{"AfterLeftDrag", [](XSession& s) { s.drag(1, {300, 300}, {500, 450}, 10); }},
                      ActionCase{"AfterRightDrag", [](XSession& s) { s.drag(3, {700, 700}, {800, 650}, 10); }},
                      ActionCase{"AfterFacesButton", pressToolbar(1, 1)},
                      ActionCase{"AfterScrambleButton", pressToolbar(2, 1)}),
    ::testing::PrintToStringParamName());

// ---- a fast mouse ----------------------------------------------------------

struct BurstCase {
    std::string name;
    unsigned mouseButton;
    Point press;
};

void PrintTo(const BurstCase& param, std::ostream* out) { *out << param.name; }

using FastMouse = KantenwerkWith<BurstCase>;

// Motions that pile up while a frame is drawn get no frame of their own. The
// same drag, once with every motion drawn and once queued up in one burst
// while the program is stopped, must end in the same orientations and the
// same pictures, and the burst must draw fewer frames.
TEST_P(FastMouse, SkipsStaleFramesButEndsAsIfEveryMotionWereDrawn)
{
    const BurstCase& param = GetParam();
    std::vector<Point> path;
    for (int k = 1; k <= 20; ++k) path.push_back({param.press.x + 12 * k, param.press.y + 4 * k});
    struct Outcome {
        ScreenImage held, released;
        ProbeReport report;
    };
    const auto drag = [&](bool burst) {
        startProgram(probeProgram);
        session->movePointer(param.press.x, param.press.y);
        session->pressButton(param.mouseButton);
        ScreenImage shown = pictureAfterChange(startPicture);  // the ramp has ended
        if (burst) program->signalGroup(SIGSTOP);
        for (const Point& to : path) {
            session->movePointer(to.x, to.y);
            if (burst) continue;
            // The next motion leaves only once this one's frame is shown.
            EXPECT_TRUE(waitForChange(shown));
            shown = session->capture();
        }
        session->sync();
        if (burst) program->signalGroup(SIGCONT);
        Outcome outcome;
        outcome.held = burst ? pictureAfterChange(shown) : restingPicture();
        session->releaseButton(param.mouseButton);
        outcome.released = pictureAfterChange(outcome.held);
        outcome.report = quit();
        return outcome;
    };
    const Outcome drawn = drag(false);
    const Outcome burst = drag(true);
    EXPECT_TRUE(samePicture(burst.held, drawn.held)) << "the last motion of the burst was not drawn";
    EXPECT_TRUE(samePicture(burst.released, drawn.released));
    EXPECT_EQ(burst.report.matrices, drawn.report.matrices);
    EXPECT_LE(burst.report.frames + int(path.size()) / 2, drawn.report.frames)
        << "queued motions were drawn one by one";
}

INSTANTIATE_TEST_SUITE_P(Buttons, FastMouse,
                         ::testing::Values(BurstCase{"Left", 1, {700, 300}}, BurstCase{"Right", 3, {700, 600}}),
                         ::testing::PrintToStringParamName());

// ---- leaving the desktop as it was ------------------------------------------

Size videoMode(::Display* display)
{
    int dotClock = 0;
    XF86VidModeModeLine line{};
    if (!XF86VidModeGetModeLine(display, DefaultScreen(display), &dotClock, &line)) return {};
    XFree(line.c_private);
    return {line.hdisplay, line.vdisplay};
}

// How long the desktop took to come back, for the test's report.
void recordTimeSince(std::chrono::steady_clock::time_point ended)
{
    const auto taken = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - ended);
    ::testing::Test::RecordProperty("desktopBackMs", std::to_string(taken.count()));
}

struct EndingCase {
    std::string name;
    int signal;         // 0: the Escape key
    bool ignoredAtStart;
    bool ownWay = false;
};

void PrintTo(const EndingCase& param, std::ostream* out) { *out << param.name; }

using Ending = KantenwerkWith<EndingCase>;

// Session managers, kill and a closing terminal end the program by signal,
// a crash by one it cannot handle; the desktop must get its own video mode
// back as after Escape, the shell must see which signal ended it, and
// nothing of the program may stay behind.
TEST_P(Ending, PutsTheDesktopModeBackAndReportsHowItEnded)
{
    const EndingCase& param = GetParam();
    startServer(ServerKind::Desktop1600);
    ::Display* display = session->display();
    ASSERT_EQ(videoMode(display), (Size{1600, 1200}));
    const int signal = param.signal == 0 ? SIGINT : param.signal;
    // What the program inherits, as from a shell: the default, or ignored as for a background job.
    const auto inherited = std::signal(signal, param.ignoredAtStart ? SIG_IGN : SIG_DFL);
    const std::string path = programFor(param.ownWay, probeProgram);
    launch(path);
    std::signal(signal, inherited);
    EXPECT_TRUE(waitUntil([&] { return videoMode(display) == Size{1280, 1024}; }, 20s));
    ASSERT_TRUE(session->waitForPixel(5, 5, [](const Rgb& c) { return c == background; }, 20s));
    const auto ended = std::chrono::steady_clock::now();
    if (param.signal != 0) program->signalGroup(param.signal);
    if (param.ignoredAtStart) {
        // Still alive and still answering: a scramble changes the picture.
        const ScreenImage before = session->capture();
        session->tapKey(XK_z);
        EXPECT_TRUE(waitForChange(before));
    }
    if (param.signal == 0 || param.ignoredAtStart) session->tapKey(XK_Escape);
    const ExitStatus status = program->waitExit(10s);
    if (param.signal == 0 || param.ignoredAtStart)
        EXPECT_TRUE(status.succeeded()) << status.describe();
    else
        EXPECT_TRUE(status.signaled && status.signal == param.signal) << status.describe();
    EXPECT_TRUE(waitUntil([&] { return videoMode(display) == Size{1600, 1200}; }, 5s));
    recordTimeSince(ended);
    EXPECT_TRUE(waitUntil([&] { return processesOf(path, server->display()).empty(); }, 5s));
}

INSTANTIATE_TEST_SUITE_P(Desktop1600, Ending,
                         ::testing::ValuesIn(bothWays<EndingCase>({EndingCase{"Escape", 0, false},
                                           EndingCase{"Term", SIGTERM, false},
                                           EndingCase{"Interrupt", SIGINT, false},
                                           EndingCase{"Hangup", SIGHUP, false},
                                           EndingCase{"InterruptIgnoredAtStart", SIGINT, true},
                                           EndingCase{"Kill", SIGKILL, false},
                                           EndingCase{"SegmentationFault", SIGSEGV, false},
                                           EndingCase{"Abort", SIGABRT, false}})),
                         ::testing::PrintToStringParamName());

// ---- several monitors on Xorg ------------------------------------------------

// Every timing of the current mode line, dot clock included.
std::string modeLineText(::Display* display)
{
    int dotClock = 0;
    XF86VidModeModeLine line{};
    if (!XF86VidModeGetModeLine(display, DefaultScreen(display), &dotClock, &line)) return "none";
    XFree(line.c_private);
    std::ostringstream text;
    text << dotClock << " kHz " << line.hdisplay << " " << line.hsyncstart << " " << line.hsyncend << " "
         << line.htotal << " " << line.vdisplay << " " << line.vsyncstart << " " << line.vsyncend << " "
         << line.vtotal << " flags " << line.flags;
    return text.str();
}

// The monitors as RandR has them, read over a fresh connection: only its
// set-up carries the screen's present size.
std::string describeLayout(const std::string& name)
{
    ::Display* display = XOpenDisplay(name.c_str());
    if (!display) return "cannot connect";
    const int screen = DefaultScreen(display);
    const Window root = DefaultRootWindow(display);
    std::ostringstream text;
    text << "screen " << DisplayWidth(display, screen) << "x" << DisplayHeight(display, screen) << " ("
         << DisplayWidthMM(display, screen) << "x" << DisplayHeightMM(display, screen) << " mm)";
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
    const RROutput primary = XRRGetOutputPrimary(display, root);
    for (int k = 0; k < resources->noutput; ++k) {
        XRROutputInfo* output = XRRGetOutputInfo(display, resources, resources->outputs[k]);
        if (output->crtc != None) {
            XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, output->crtc);
            text << "; " << output->name << (resources->outputs[k] == primary ? " primary" : "") << " crtc "
                 << output->crtc << " mode " << crtc->mode << " " << crtc->width << "x" << crtc->height << "+"
                 << crtc->x << "+" << crtc->y << " rotation " << crtc->rotation;
            XRRFreeCrtcInfo(crtc);
        }
        XRRFreeOutputInfo(output);
    }
    XRRFreeScreenResources(resources);
    XCloseDisplay(display);
    return text.str();
}

struct Monitor {
    const char* output;  // DUMMY0 to DUMMY15, each with a CRTC of its own
    const char* mode;    // a mode line name of the server's config
    int x, y;
};

// Lays the monitors out as a user's display settings do; the first is the
// primary. The screen first grows to hold both layouts, then takes its size.
void layOut(::Display* display, const std::vector<Monitor>& monitors, Size screen)
{
    const Window root = DefaultRootWindow(display);
    XRRScreenResources* resources = XRRGetScreenResources(display, root);
    const auto setScreen = [&](int width, int height) {
        XRRSetScreenSize(display, root, width, height, int(width * 25.4 / 96), int(height * 25.4 / 96));
    };
    Window unusedRoot;
    int unusedX, unusedY;
    unsigned width, height, unusedBorder, unusedDepth;
    XGetGeometry(display, root, &unusedRoot, &unusedX, &unusedY, &width, &height, &unusedBorder, &unusedDepth);
    setScreen(std::max(screen.width, int(width)), std::max(screen.height, int(height)));
    for (const Monitor& monitor : monitors) {
        RROutput output = None;
        RRMode mode = None;
        for (int k = 0; k < resources->noutput; ++k) {
            XRROutputInfo* info = XRRGetOutputInfo(display, resources, resources->outputs[k]);
            if (std::string(info->name) == monitor.output) output = resources->outputs[k];
            XRRFreeOutputInfo(info);
        }
        for (int k = 0; k < resources->nmode; ++k)
            if (std::string(resources->modes[k].name) == monitor.mode) mode = resources->modes[k].id;
        ASSERT_TRUE(output != None && mode != None) << monitor.output << " " << monitor.mode;
        XRRAddOutputMode(display, output, mode);
        XRROutputInfo* info = XRRGetOutputInfo(display, resources, output);
        XRRSetCrtcConfig(display, resources, info->crtcs[0], CurrentTime, monitor.x, monitor.y, mode, RR_Rotate_0,
                         &output, 1);
        XRRFreeOutputInfo(info);
        if (&monitor == &monitors.front()) XRRSetOutputPrimary(display, root, output);
    }
    setScreen(screen.width, screen.height);
    XRRFreeScreenResources(resources);
    // Display settings read the layout back, which has the server probe the
    // monitors anew: only then does the video-mode extension follow it.
    XRRFreeScreenResources(XRRGetScreenResources(display, root));
}

// ---- the window where the monitor shows it ----------------------------------

// The one window shown on the root, as WxH+X+Y.
std::string shownWindow(::Display* display)
{
    Window root = DefaultRootWindow(display), parent, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display, root, &root, &parent, &children, &count);
    std::ostringstream text;
    for (unsigned k = 0; k < count; ++k) {
        XWindowAttributes a;
        if (XGetWindowAttributes(display, children[k], &a) && a.map_state == IsViewable)
            text << (text.tellp() > 0 ? ", " : "") << a.width << "x" << a.height << "+" << a.x << "+" << a.y;
    }
    XFree(children);
    return text.str();
}

struct FitCase {
    std::string name;
    ServerKind kind;
    std::vector<Monitor> monitors;  // laid out before the start; none: as the server starts
    Size screen;                    // the screen with them
    std::string window;             // where the monitor shows the mode
    Point exitDisc;                 // the toolbar's exit button there
};

void PrintTo(const FitCase& param, std::ostream* out) { *out << param.name; }

using WindowFit = KantenwerkWith<FitCase>;

// Without a window manager only the program keeps its window to what the
// monitor shows: the square centred there and the toolbar in its corner,
// through game mode and its own way alike.
TEST_P(WindowFit, CoversWhatTheMonitorShowsWithTheToolbarInItsCorner)
{
    const FitCase& param = GetParam();
    startServer(param.kind);
    if (!param.monitors.empty()) {
        layOut(session->display(), param.monitors, param.screen);
        // Captures take the screen's size from the connection's set-up.
        session = std::make_unique<XSession>(server->display());
    }
    Size mode;
    sscanf(param.window.c_str(), "%dx%d", &mode.width, &mode.height);
    ScreenImage gameModeStart, gameModeScrambled;
    for (const bool own : {false, true}) {
        launch(programFor(own));
        const Point face = windowPoint(0.1, 0.1, mode);
        ASSERT_TRUE(session->waitForPixel(face.x, face.y, [](const Rgb& c) { return c == white; }, 20s))
            << program->stdoutText() << program->stderrText();
        EXPECT_EQ(shownWindow(session->display()), param.window) << (own ? "its own way" : "game mode");
        const ScreenImage start = restingPicture();
        EXPECT_EQ(start.pixel(param.exitDisc.x, param.exitDisc.y), black);
        session->tapKey(XK_z);
        const ScreenImage scrambled = pictureAfterChange(start);
        if (own) {
            EXPECT_TRUE(samePicture(start, gameModeStart));
            EXPECT_TRUE(samePicture(scrambled, gameModeScrambled));
        }
        gameModeStart = start;
        gameModeScrambled = scrambled;
        session->movePointer(param.exitDisc.x, param.exitDisc.y);
        session->clickButton(1);
        const ExitStatus status = program->waitExit(10s);
        EXPECT_TRUE(status.succeeded()) << status.describe();
        // The next start must not take this run's last frame for its first.
        EXPECT_TRUE(session->waitForPixel(5, 5, [](const Rgb& c) { return c != background; }, 10s));
    }
}

INSTANTIATE_TEST_SUITE_P(
    NoWindowManager, WindowFit,
    ::testing::Values(FitCase{"Desktop1600", ServerKind::Desktop1600, {}, {}, "1280x1024+0+0", {1122, 1003}},
                      FitCase{"TwoMonitors", ServerKind::TwoMonitors,
                              {{"DUMMY1", "1920x1080", 0, 0}, {"DUMMY0", "1280x1024", 1920, 0}}, {3200, 1080},
                              "1920x1080+0+0", {1470, 1059}}),
    ::testing::PrintToStringParamName());

using SeveralMonitors = KantenwerkWith<EndingCase>;

// A laptop at 1280x1024 right of a 1920x1080 primary screen. The game mode
// must take the desktop's own mode line, which no monitor has to change
// for; a layout changed during the run, as a real driver's mode switch or a
// monitor plugged in would, must be put back whole by every ending.
TEST_P(SeveralMonitors, KeepTheDesktopModeAndGetTheirLayoutBack)
{
    const EndingCase& param = GetParam();
    startServer(ServerKind::TwoMonitors);
    ::Display* display = session->display();
    layOut(display, {{"DUMMY1", "1920x1080", 0, 0}, {"DUMMY0", "1280x1024", 1920, 0}}, {3200, 1080});
    const std::string found = describeLayout(server->display());
    const std::string desktopLine = modeLineText(display);
    const std::string path = programFor(param.ownWay);
    launch(path);
    const Point face = windowPoint(0.1, 0.1, {1920, 1080});
    ASSERT_TRUE(session->waitForPixel(face.x, face.y, [](const Rgb& c) { return c == white; }, 20s))
        << program->stdoutText() << program->stderrText();
    EXPECT_EQ(program->stdoutText(),
              "Starte Kantenwerk.\nBildschirmaufloesung 1920x1080 Pixel bei 32 bit Farbtiefe und 59 hertz\n");
    EXPECT_EQ(modeLineText(display), desktopLine);

    layOut(display, {{"DUMMY0", "1280x1024", 0, 0}, {"DUMMY1", "1280x1024", 0, 0}}, {1280, 1024});
    ASSERT_NE(describeLayout(server->display()), found);
    const auto ended = std::chrono::steady_clock::now();
    endBy(param.signal);
    EXPECT_TRUE(waitUntil([&] { return describeLayout(server->display()) == found; }, 5s))
        << describeLayout(server->display()) << "\nfound at start:\n" << found;
    recordTimeSince(ended);
    EXPECT_TRUE(waitUntil([&] { return processesOf(path, server->display()).empty(); }, 5s));
}

INSTANTIATE_TEST_SUITE_P(Xorg, SeveralMonitors,
                         ::testing::ValuesIn(bothWays<EndingCase>({EndingCase{"Escape", 0, false},
                                                                   EndingCase{"Term", SIGTERM, false},
                                                                   EndingCase{"Kill", SIGKILL, false}})),
                         ::testing::PrintToStringParamName());

// ---- one copy per screen, and the desktop kept on the display --------------

// Signals the watchers of this program binary on this display, found by
// their name, as an OOM kill or the end of their session would.
std::vector<pid_t> signalWatchers(const std::string& program, const std::string& display, int signal)
{
    std::vector<pid_t> signalled;
    for (const pid_t pid : processesOf(program, display)) {
        std::string name;
        std::ifstream("/proc/" + std::to_string(pid) + "/comm") >> name;
        if (name == "kw-watcher" && kill(pid, signal) == 0) signalled.push_back(pid);
    }
    return signalled;
}

// Switches the mode as a user's display settings would.
void switchMode(::Display* display, Size size)
{
    int count = 0;
    XF86VidModeModeInfo** modes = nullptr;
    ASSERT_TRUE(XF86VidModeGetAllModeLines(display, DefaultScreen(display), &count, &modes));
    for (int k = 0; k < count; ++k)
        if (modes[k]->hdisplay == size.width && modes[k]->vdisplay == size.height) {
            XF86VidModeSwitchToMode(display, DefaultScreen(display), modes[k]);
            break;
        }
    XFree(modes);
    XSync(display, False);
    ASSERT_EQ(videoMode(display), size);
}

enum class Second { Never, Later, AtOnce };

// One run of the program, started at once after the one before has ended.
struct ProgramRun {
    int signal = 0;              // how it ends: 0 Escape, else this signal to its process group
    int watcherSignal = 0;       // sent to its watcher first: SIGKILL, or SIGSTOP until the next run's frame
    Second second = Second::Never;  // another copy started after its first frame, or with it
    bool monitorOff = false;     // DUMMY0 switched off during the run
    Size userMode{};             // then switched to by the user, where given
};

struct KeepingCase {
    std::string name;
    ServerKind kind;
    bool twoMonitors;  // laid out as in SeveralMonitors before the first run
    std::vector<ProgramRun> runs;
};

void PrintTo(const KeepingCase& param, std::ostream* out) { *out << param.name; }

std::vector<ProgramRun> restartsAfterKill(int times)
{
    std::vector<ProgramRun> runs;
    for (int k = 0; k < times; ++k) runs.insert(runs.end(), {ProgramRun{SIGKILL}, ProgramRun{0}});
    return runs;
}

class KeepingTheDesktop : public KantenwerkWith<KeepingCase> {
protected:
    void expectRefused(ChildProcess& copy)
    {
        const ExitStatus status = copy.waitExit(10s);
        EXPECT_TRUE(status.exited && status.code == 1) << status.describe();
        EXPECT_EQ(copy.stdoutText(), "Kantenwerk laeuft bereits auf Anzeige " + server->display() + ".0.\n");
    }

    // A second copy, started over a window that hides the running one, must
    // bring the running one to the top and change nothing else.
    void startSecondCopy()
    {
        ::Display* display = session->display();
        const Size mode = videoMode(display);
        const ScreenImage shown = session->capture();
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = BlackPixel(display, DefaultScreen(display));
        const Window cover = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 4000, 2000, 0, CopyFromParent,
                                           InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
        XMapRaised(display, cover);
        session->sync();
        EXPECT_TRUE(session->waitForPixel(5, 5, [](const Rgb& c) { return c == black; }, 10s));
        ChildProcess second(plainProgram, {}, {{"DISPLAY", server->display()}});
        expectRefused(second);
        EXPECT_TRUE(waitUntil([&] { return session->capture().rgb() == shown.rgb(); }, 10s))
            << "the running copy was not raised";
        EXPECT_TRUE(program->isRunning());
        EXPECT_EQ(videoMode(display), mode);
        XDestroyWindow(display, cover);
        session->sync();
    }

    // Both start at once: one runs, the other ends by itself.
    void startTwoAtOnce()
    {
        std::unique_ptr<ChildProcess> other = std::move(program);
        launch(plainProgram);
        ASSERT_TRUE(waitUntil([&] { return !program->isRunning() || !other->isRunning(); }, 20s));
        if (!program->isRunning()) std::swap(program, other);
        expectRefused(*other);
    }

    // Switches a monitor off in one request, as unplugging it would, and
    // waits until the program has renewed its record after it.
    void unplug(const std::string& name)
    {
        ::Display* display = session->display();
        const Atom record = XInternAtom(display, "_KANTENWERK_DESKTOP", False);
        XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask);
        XRRScreenResources* resources = XRRGetScreenResources(display, DefaultRootWindow(display));
        for (int k = 0; k < resources->noutput; ++k) {
            XRROutputInfo* output = XRRGetOutputInfo(display, resources, resources->outputs[k]);
            if (name == output->name && output->crtc != None)
                XRRSetCrtcConfig(display, resources, output->crtc, CurrentTime, 0, 0, None, RR_Rotate_0, nullptr, 0);
            XRRFreeOutputInfo(output);
        }
        XRRFreeScreenResources(resources);
        XEvent event;
        EXPECT_TRUE(waitUntil([&] {
            while (XCheckTypedWindowEvent(display, DefaultRootWindow(display), PropertyNotify, &event))
                if (event.xproperty.atom == record && event.xproperty.state == PropertyNewValue) return true;
            return false;
        }, 10s));
        XSelectInput(display, DefaultRootWindow(display), NoEventMask);
    }
};

// However the runs end, one after another or over each other, the desktop
// as found before the first comes back, unless the user has chosen another
// mode since; and nothing of the program stays behind.
TEST_P(KeepingTheDesktop, OneCopyPerScreenAndTheDesktopAsFoundComesBack)
{
    const KeepingCase& param = GetParam();
    startServer(param.kind);
    ::Display* display = session->display();
    if (param.twoMonitors)
        layOut(display, {{"DUMMY1", "1920x1080", 0, 0}, {"DUMMY0", "1280x1024", 1920, 0}}, {3200, 1080});
    // The dummy driver's video-mode switches leave RandR's picture as it was.
    const auto desktopNow = [&] { return describeLayout(server->display()) + "; video mode " + modeLineText(display); };
    std::string expected = desktopNow();
    std::vector<pid_t> stopped;  // watchers held up
    for (std::size_t k = 0; k < param.runs.size(); ++k) {
        const ProgramRun& run = param.runs[k];
        SCOPED_TRACE("run " + std::to_string(k + 1));
        launch(plainProgram);
        if (run.second == Second::AtOnce) startTwoAtOnce();
        const Size mode = waitForFrame();
        if (run.second == Second::Later) startSecondCopy();
        if (run.monitorOff) unplug("DUMMY0");
        // A watcher of an earlier run that wakes only now leaves this one be.
        for (const pid_t pid : stopped) {
            kill(pid, SIGCONT);
            const std::string executable = "/proc/" + std::to_string(pid) + "/exe";
            std::error_code error;  // gone, or a zombie without one
            EXPECT_TRUE(waitUntil([&] { return std::filesystem::read_symlink(executable, error).empty(); }, 10s));
        }
        stopped.clear();
        EXPECT_EQ(videoMode(display), mode);
        if (run.watcherSignal != 0) {
            stopped = signalWatchers(plainProgram, server->display(), run.watcherSignal);
            EXPECT_EQ(stopped.size(), 1u);
            if (run.watcherSignal == SIGKILL) stopped.clear();
        }
        endBy(run.signal);
        if (run.userMode.width != 0) {
            switchMode(display, run.userMode);
            expected = desktopNow();
        }
        if (run.signal == 0 || k + 1 == param.runs.size()) {
            EXPECT_TRUE(waitUntil([&] { return desktopNow() == expected; }, 5s))
                << desktopNow() << "\nexpected:\n" << expected;
        }
    }
    EXPECT_TRUE(waitUntil([&] { return processesOf(plainProgram, server->display()).empty(); }, 5s));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, KeepingTheDesktop,
    ::testing::Values(
        KeepingCase{"SecondCopy", ServerKind::Desktop1600, false, {ProgramRun{0, 0, Second::Later}}},
        KeepingCase{"TwoAtOnce", ServerKind::Desktop1600, false, {ProgramRun{0, 0, Second::AtOnce}}},
        KeepingCase{"RestartAfterKill", ServerKind::Desktop1600, false, restartsAfterKill(5)},
        KeepingCase{"ProgramAndWatcherKilled", ServerKind::Desktop1600, false,
                    {ProgramRun{SIGKILL, SIGKILL}, ProgramRun{0}}},
        KeepingCase{"WatcherLateAfterKill", ServerKind::Desktop1600, false,
                    {ProgramRun{SIGKILL, SIGSTOP}, ProgramRun{0}}},
        KeepingCase{"CrashLoop", ServerKind::Desktop1600, false,
                    {ProgramRun{SIGSEGV}, ProgramRun{SIGSEGV}, ProgramRun{SIGSEGV}, ProgramRun{SIGSEGV}}},
        // The program takes 1280x1024, the desktop's own mode here, and
        // leaves it; the user's 1024x768 is the desktop found next.
        KeepingCase{"UsersModeAfterAKill", ServerKind::FullModes, false,
                    {ProgramRun{SIGKILL, SIGKILL, Second::Never, false, {1024, 768}}, ProgramRun{0}}},
        KeepingCase{"TwoMonitors", ServerKind::TwoMonitors, true,
                    {ProgramRun{SIGKILL, SIGKILL, Second::Never, true}, ProgramRun{0}}}),
    ::testing::PrintToStringParamName());

// The owner windows of claims on the screen, by their tokens.
std::vector<std::string> claimTokens(::Display* display)
{
    std::vector<std::string> tokens;
    Window root = None, parent = None, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return tokens;
    for (unsigned k = 0; k < count; ++k) {
        XTextProperty token{};
        if (XGetTextProperty(display, children[k], &token, XInternAtom(display, "_KANTENWERK_CLAIM", False))) {
            tokens.emplace_back(reinterpret_cast<const char*>(token.value), token.nitems);
            XFree(token.value);
        }
    }
    XFree(children);
    return tokens;
}

// A claim left on the screen by a copy that looks ended, or is ending.
enum class Stale { Ended, NumberTakenAgain, VanishingWhileRead };

struct StaleCase {
    std::string name;
    Stale holder;
};

void PrintTo(const StaleCase& param, std::ostream* out) { *out << param.name; }

using EndedCopy = KantenwerkWith<StaleCase>;

// A copy that has just ended holds the screen until the server has seen its
// connection close, which under load comes after the next copy's start.
// Its process number may run another process by then, and the server may
// close its connection between two of the next copy's reads of its claim.
TEST_P(EndedCopy, HoldsTheScreenOnlyUntilTheServerLetsItGo)
{
    const Stale holder = GetParam().holder;
    startServer(ServerKind::Desktop1600);
    ChildProcess ended("/bin/true", {});
    ASSERT_TRUE(ended.waitExit(10s).succeeded());
    const std::string token = holder == Stale::Ended ? processToken(ended.pid(), "1")
                              : holder == Stale::NumberTakenAgain
                                  ? processToken(getpid(), "1")
                                  : processToken(getpid(), procStatFields(getpid()).at(19));
    // Its claim, on a connection of the test's own.
    ::Display* stale = XOpenDisplay(server->display().c_str());
    ASSERT_NE(stale, nullptr);
    const Window owner = XCreateWindow(stale, DefaultRootWindow(stale), -1, -1, 1, 1, 0, 0, InputOnly, CopyFromParent,
                                       0, nullptr);
    XChangeProperty(stale, owner, XInternAtom(stale, "_KANTENWERK_CLAIM", False), XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(token.data()), int(token.size()));
    XSetSelectionOwner(stale, XInternAtom(stale, "_KANTENWERK_S0", False), owner, CurrentTime);
    XSync(stale, False);
    if (holder == Stale::VanishingWhileRead) {
        // That build has the server shut this connection down; Xlib must
        // not touch it again.
        launch(vanishingHolderProgram);
    } else {
        launch(plainProgram);
        ASSERT_TRUE(waitUntil([&] { return claimTokens(session->display()).size() == 2; }, 20s))
            << program->stdoutText();
        XCloseDisplay(stale);
    }
    waitForFrame();
    endBy(0);
}

INSTANTIATE_TEST_SUITE_P(Runs, EndedCopy,
                         ::testing::Values(StaleCase{"Desktop1600", Stale::Ended},
                                           StaleCase{"NumberTakenAgain", Stale::NumberTakenAgain},
                                           StaleCase{"VanishingWhileRead", Stale::VanishingWhileRead}),
                         ::testing::PrintToStringParamName());

}  // namespace
