// Proves the X server test infrastructure: the servers offer the video modes
// freeglut's game mode needs (or none), XTest input reaches GLUT windows,
// captures read back what they draw, and nothing outlives a test.
#include "child_process.h"
#include "gl_window_environment.h"
#include "test_server.h"
#include "x_session.h"

#include <GL/freeglut.h>
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

using namespace kantenwerk::testsupport;
using namespace std::chrono_literals;

const std::string gameModeProbe = KANTENWERK_GAMEMODE_PROBE;
const std::string inputProbe = KANTENWERK_INPUT_PROBE;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) result.push_back(line);
    return result;
}

bool hasLine(const ChildProcess& process, const std::string& prefix) {
    for (const auto& line : lines(process.stdoutText())) {
        if (line.rfind(prefix, 0) == 0) return true;
    }
    return false;
}

bool waitForLine(const ChildProcess& process, const std::string& prefix,
                 std::chrono::milliseconds limit = 5s) {
    return waitUntil([&] { return hasLine(process, prefix); }, limit);
}

// Alive and not a zombie.
bool processAlive(pid_t pid) {
    const std::vector<std::string> fields = procStatFields(pid);
    return !fields.empty() && fields[0] != "Z";
}

// ---- game mode as freeglut sees it on each kind of server ----

struct GameModeCase {
    ServerKind kind;
    std::map<std::string, bool> possible;
};

void PrintTo(const GameModeCase& param, std::ostream* out) { *out << toString(param.kind); }

class GameModeQuery : public ::testing::TestWithParam<GameModeCase> {};

TEST_P(GameModeQuery, ReportsExactlyTheConfiguredModesAsPossible) {
    TestServer server(GetParam().kind);
    std::vector<std::string> modes;
    for (const auto& [mode, expected] : GetParam().possible) modes.push_back(mode);
    ChildProcess probe(gameModeProbe, modes, {{"DISPLAY", server.display()}});
    const ExitStatus status = probe.waitExit(20s);
    ASSERT_TRUE(status.succeeded()) << status.describe() << "\n" << probe.stderrText();

    std::map<std::string, bool> reported;
    for (const auto& line : lines(probe.stdoutText())) {
        char mode[64];
        int possible = -1;
        if (std::sscanf(line.c_str(), "%63s possible=%d", mode, &possible) == 2) reported[mode] = possible != 0;
    }
    EXPECT_EQ(reported, GetParam().possible) << probe.stdoutText();
}

INSTANTIATE_TEST_SUITE_P(
    Servers, GameModeQuery,
    ::testing::Values(GameModeCase{ServerKind::FullModes,
                                   {{"1280x1024:32", true}, {"1152x864:32", false},
                                    {"1024x768:32", true}, {"800x600:32", true}}},
                      GameModeCase{ServerKind::Only1024,
                                   {{"1280x1024:32", false}, {"1152x864:32", false},
                                    {"1024x768:32", true}, {"800x600:32", false}}},
                      GameModeCase{ServerKind::NoModes,
                                   {{"1280x1024:32", false}, {"1152x864:32", false},
                                    {"1024x768:32", false}, {"800x600:32", false}}}),
    [](const auto& info) { return std::string(toString(info.param.kind)); });

struct GameModeEntryCase {
    ServerKind kind;
    std::string mode;
    int width;
    int height;
};

void PrintTo(const GameModeEntryCase& param, std::ostream* out) {
    *out << toString(param.kind) << " " << param.mode;
}

// The window, and the mode line the server then shows, whichever way the
// library lets the switch go.
class GameModeEntry : public ::testing::TestWithParam<GameModeEntryCase> {};

TEST_P(GameModeEntry, SwitchesToTheModeAt60Hz) {
    const auto& param = GetParam();
    TestServer server(param.kind);
    ChildProcess probe(gameModeProbe, {"--enter", param.mode}, {{"DISPLAY", server.display()}});
    const ExitStatus status = probe.waitExit(20s);
    ASSERT_TRUE(status.succeeded()) << status.describe() << "\n" << probe.stdoutText() << probe.stderrText();
    int shown = -1, width = -1, height = -1, screenWidth = -1, screenHeight = -1, refresh = -1;
    long long ms = -1;
    const std::string expectedStart = "entered " + param.mode + " ";
    const std::string out = probe.stdoutText();
    ASSERT_EQ(out.rfind(expectedStart, 0), 0u) << out;
    ASSERT_EQ(std::sscanf(out.c_str() + expectedStart.size(), "shown=%d width=%d height=%d screen=%dx%d@%d ms=%lld",
                          &shown, &width, &height, &screenWidth, &screenHeight, &refresh, &ms),
              7)
        << out;
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(width, param.width);
    EXPECT_EQ(height, param.height);
    EXPECT_EQ(screenWidth, param.width);
    EXPECT_EQ(screenHeight, param.height);
    EXPECT_EQ(refresh, 60);
    RecordProperty("enter_ms", std::to_string(ms));
}

INSTANTIATE_TEST_SUITE_P(Servers, GameModeEntry,
                         ::testing::Values(GameModeEntryCase{ServerKind::FullModes, "1280x1024:32", 1280, 1024},
                                           GameModeEntryCase{ServerKind::Only1024, "1024x768:32", 1024, 768}),
                         [](const auto& info) {
                             return std::string(toString(info.param.kind)) + "_" +
                                    std::to_string(info.param.width);
                         });

// ---- input and capture, as a user at the screen ----

TEST(GameModeInput, KeysAndPointerReachTheWindowAndItsPixelsAreCaptured) {
    TestServer server(ServerKind::FullModes);
    XSession session(server.display());
    const Rgb fill{32, 160, 96};
    ChildProcess probe(inputProbe, {"--game", "1280x1024:32", "32", "160", "96"},
                       {{"DISPLAY", server.display()}});
    ASSERT_TRUE(waitForLine(probe, "ready 1280 1024", 20s)) << probe.stdoutText() << probe.stderrText();

    ASSERT_TRUE(session.waitForPixel(640, 512, [&](const Rgb& c) { return c.near(fill, 1); }, 5s))
        << session.capture().pixel(640, 512);
    const ScreenImage screen = session.capture();
    ASSERT_EQ(screen.width(), 1280);
    ASSERT_EQ(screen.height(), 1024);
    for (const Point corner : {Point{0, 0}, Point{1279, 0}, Point{0, 1023}, Point{1279, 1023}}) {
        EXPECT_TRUE(screen.pixel(corner.x, corner.y).near(fill, 1))
            << corner << " is " << screen.pixel(corner.x, corner.y);
    }

    // Lower case after upper case also proves Shift is released again.
    struct KeyCase {
        unsigned long keysym;
        std::string line;
    };
    session.movePointer(640, 512);
    for (const KeyCase& key : {KeyCase{XK_a, "key 97 640 512"}, KeyCase{XK_Q, "key 81 640 512"},
                               KeyCase{XK_A, "key 65 "}, KeyCase{XK_z, "key 122 "},
                               KeyCase{XK_Z, "key 90 "}, KeyCase{XK_plus, "key 43 "},
                               KeyCase{XK_Left, "special 100 "}, KeyCase{XK_F1, "special 1 "}}) {
        session.tapKey(key.keysym);
        EXPECT_TRUE(waitForLine(probe, key.line)) << "keysym " << key.keysym << "\n" << probe.stdoutText();
    }

    session.movePointer(100, 200);
    session.clickButton(1);
    EXPECT_TRUE(waitForLine(probe, "button 0 down 100 200")) << probe.stdoutText();
    EXPECT_TRUE(waitForLine(probe, "button 0 up 100 200")) << probe.stdoutText();
    session.drag(3, {300, 300}, {420, 360}, 6);
    EXPECT_TRUE(waitForLine(probe, "button 2 down 300 300")) << probe.stdoutText();
    EXPECT_TRUE(waitForLine(probe, "drag 420 360")) << probe.stdoutText();
    EXPECT_TRUE(waitForLine(probe, "button 2 up 420 360")) << probe.stdoutText();

    session.tapKey(XK_Escape);
    const ExitStatus status = probe.waitExit(10s);
    EXPECT_TRUE(status.succeeded()) << status.describe();
}

TEST(Capture, SavedPngHoldsTheCapturedPixels) {
    TestServer server(ServerKind::NoModes);
    XSession session(server.display());
    ChildProcess probe(inputProbe, {"--window", "300", "200", "200", "40", "10"}, {{"DISPLAY", server.display()}});
    ASSERT_TRUE(waitForLine(probe, "ready 300 200", 20s)) << probe.stdoutText() << probe.stderrText();
    ASSERT_TRUE(session.waitForPixel(150, 100, [](const Rgb& c) { return c.near({200, 40, 10}, 1); }, 5s));
    const ScreenImage screen = session.capture();
    EXPECT_TRUE(screen.pixel(299, 199).near({200, 40, 10}, 1));
    EXPECT_FALSE(screen.pixel(300, 200).near({200, 40, 10}, 1)) << "window larger than asked for";

    const std::string path = std::filesystem::temp_directory_path() /
                             ("kantenwerk-capture-" + std::to_string(getpid()) + ".png");
    screen.savePng(path);
    if (access("/usr/bin/identify", X_OK) != 0) {
        std::filesystem::remove(path);
        GTEST_SKIP() << "ImageMagick's identify is not installed to decode the PNG";
    }
    ChildProcess identify("/usr/bin/identify",
                          {"-format", "%w %h %[pixel:p{150,100}] %[pixel:p{1000,900}]\\n", path});
    const ExitStatus status = identify.waitExit(20s);
    std::filesystem::remove(path);
    ASSERT_TRUE(status.succeeded()) << identify.stderrText();
    const Rgb outside = screen.pixel(1000, 900);
    EXPECT_EQ(identify.stdoutText(), "1280 1024 srgb(200,40,10) srgb(" + std::to_string(outside.r) + "," +
                                         std::to_string(outside.g) + "," + std::to_string(outside.b) +
                                         ")\n");
}

// ---- the GL window environment ----

TEST(GlEnvironment, MainWindowIsCurrentWithTheRequestedSize) {
    ASSERT_NE(GlWindowEnvironment::current(), nullptr);
    EXPECT_EQ(glutGetWindow(), GlWindowEnvironment::current()->mainWindow());
    EXPECT_EQ(glutGet(GLUT_WINDOW_WIDTH), 1280);
    EXPECT_EQ(glutGet(GLUT_WINDOW_HEIGHT), 1024);
    EXPECT_NE(glGetString(GL_VERSION), nullptr);
}

class GlWindowSize : public ::testing::TestWithParam<Size> {};

TEST_P(GlWindowSize, IsHonouredAndDrawable) {
    const Size size = GetParam();
    {
        GlWindow window(size.width, size.height);
        EXPECT_EQ(glutGetWindow(), window.id());
        EXPECT_EQ(glutGet(GLUT_WINDOW_WIDTH), size.width);
        EXPECT_EQ(glutGet(GLUT_WINDOW_HEIGHT), size.height);

        // The context draws into a framebuffer of that size.
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], size.width);
        EXPECT_EQ(viewport[3], size.height);
        glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        unsigned char corner[4] = {};
        glReadPixels(size.width - 1, size.height - 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, corner);
        EXPECT_EQ(corner[0], 0);
        EXPECT_EQ(corner[1], 255);
        EXPECT_EQ(corner[2], 0);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
    EXPECT_EQ(glutGetWindow(), GlWindowEnvironment::current()->mainWindow());
}

INSTANTIATE_TEST_SUITE_P(Sizes, GlWindowSize,
                         ::testing::Values(Size{600, 800}, Size{1281, 1024}, Size{1, 1}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

// ---- processes and servers do not outlive their owners ----

struct ExitCase {
    std::string name;
    std::string script;
    bool exited;
    int value; // exit code or signal
    std::string output;
    std::string errors;
};

void PrintTo(const ExitCase& param, std::ostream* out) { *out << param.script; }

class ChildExit : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ChildExit, ReportsHowTheProcessEnded) {
    ChildProcess child("sh", {"-c", GetParam().script}, {{"KANTENWERK_PROBE_VALUE", "xyz"}});
    const ExitStatus status = child.waitExit(10s);
    EXPECT_EQ(status.exited, GetParam().exited) << status.describe();
    EXPECT_EQ(status.signaled, !GetParam().exited) << status.describe();
    EXPECT_EQ(GetParam().exited ? status.code : status.signal, GetParam().value) << status.describe();
    EXPECT_EQ(child.stdoutText(), GetParam().output);
    EXPECT_EQ(child.stderrText(), GetParam().errors);
}

INSTANTIATE_TEST_SUITE_P(
    Endings, ChildExit,
    ::testing::Values(ExitCase{"SeesEnvironmentOverride", "echo $KANTENWERK_PROBE_VALUE", true, 0, "xyz\n", ""},
                      ExitCase{"ExitCodeAndStderrApart", "echo out; echo err >&2; exit 3", true, 3, "out\n", "err\n"},
                      ExitCase{"KilledBySignal", "echo going; kill -TERM $$", false, SIGTERM, "going\n", ""}),
    [](const auto& info) { return info.param.name; });

TEST(ChildProcessLifetime, BusyChildUsesCpuAndItsWholeGroupDiesWithTheObject) {
    pid_t leader = -1;
    pid_t descendant = -1;
    {
        ChildProcess child("sh", {"-c", "sleep 60 & echo $!; while :; do :; done"});
        leader = child.pid();
        ASSERT_TRUE(waitUntil([&] { return !child.stdoutText().empty(); }, 5s));
        descendant = std::stoi(child.stdoutText());
        EXPECT_TRUE(waitUntil([&] { return child.cpuTicks() > 0; }, 5s));
        EXPECT_TRUE(child.isRunning());
        EXPECT_THROW(child.waitExit(50ms), std::runtime_error);
        EXPECT_TRUE(processAlive(descendant));
    }
    EXPECT_FALSE(processAlive(leader));
    EXPECT_TRUE(waitUntil([&] { return !processAlive(descendant); }, 2s));
}

TEST(TestServerLifetime, StoppedServerLeavesNoProcessLockOrSocket) {
    pid_t pid = -1;
    int number = -1;
    {
        TestServer server(ServerKind::Only1024);
        pid = server.pid();
        number = server.displayNumber();
        EXPECT_EQ(server.display(), ":" + std::to_string(number));
        EXPECT_TRUE(std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock"));
        // Listening on the abstract socket alone, it needs no /tmp/.X11-unix.
        EXPECT_FALSE(std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number)));
        XSession session(server.display());
        EXPECT_EQ(session.screenSize().width, 1024);
        EXPECT_EQ(session.screenSize().height, 768);
    }
    EXPECT_FALSE(processAlive(pid));
    EXPECT_FALSE(std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock"));
    EXPECT_FALSE(std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number)));
}

TEST(SilentDisplayStandIn, TakesAClientThroughTheAbstractSocketAlone) {
    SilentDisplay silent;
    EXPECT_FALSE(std::filesystem::exists("/tmp/.X11-unix/X" + silent.display().substr(1)));
    ChildProcess client("xhost", {}, {{"DISPLAY", silent.display()}});
    EXPECT_TRUE(silent.acceptClient(10s));
}

// ---- a server that cannot start fails, never skips ----

// Stands in for Xorg: logs a fatal error where Xorg would, then exits.
const char* const failingServer = R"(#!/bin/sh
while [ $# -gt 0 ]; do [ "$1" = -logfile ] && log=$2; shift; done
printf '(EE) Fatal server error:\n(EE) no screens found(EE)\n' >"$log"
echo "Fatal server error: see the log file" >&2
exit 1
)";

TEST(ServerThatCannotStart, FailsItsTestsWithTheReasonFromItsLog) {
    const std::string script = std::filesystem::temp_directory_path() /
                               ("kantenwerk-failing-xorg-" + std::to_string(getpid()));
    {
        std::ofstream(script) << failingServer;
    }
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    setenv("KANTENWERK_TEST_XORG", script.c_str(), 1);
    std::string reason;
    try {
        TestServer server(ServerKind::FullModes);
    } catch (const std::runtime_error& error) {
        reason = error.what();
    }
    unsetenv("KANTENWERK_TEST_XORG");
    EXPECT_NE(reason.find("no screens found"), std::string::npos) << reason;

    // The shared GL window cannot open either: its tests must fail, not skip.
    ChildProcess child(std::filesystem::read_symlink("/proc/self/exe"), {"--gtest_filter=GlEnvironment.*"},
                       {{"KANTENWERK_TEST_XORG", script}});
    const ExitStatus status = child.waitExit(30s);
    std::filesystem::remove(script);
    const std::string output = child.stdoutText();
    EXPECT_FALSE(status.succeeded()) << status.describe();
    EXPECT_NE(output.find("no screens found"), std::string::npos) << output;
    EXPECT_NE(output.find("[  FAILED  ] GlEnvironment.MainWindowIsCurrentWithTheRequestedSize"),
              std::string::npos) << output;
    EXPECT_EQ(output.find("SKIPPED"), std::string::npos) << output;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new GlWindowEnvironment());
    return RUN_ALL_TESTS();
}
