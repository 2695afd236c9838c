// The real program as an X client of XWayland, on sway's headless backend
// with one or two outputs, seen from the X side: XWayland's outputs, the
// game-mode window and its picture, the console line and Escape's status.
// gtest comes before Xlib, whose macros (None, Bool) clash with it.
#include <gtest/gtest.h>

#include "child_process.h"
#include "x_session.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/xf86vmode.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <stdexcept>

namespace {

using namespace kantenwerk::testsupport;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// An output's size and place, "WxH+X+Y".
std::string geometry(int width, int height, int x, int y)
{
    return std::to_string(width) + "x" + std::to_string(height) + "+" + std::to_string(x) + "+" + std::to_string(y);
}

struct Output {
    int width, height, x, y;
};

struct DesktopCase {
    std::string name;
    std::vector<Output> outputs;  // sway's HEADLESS-1, HEADLESS-2
    bool ownWay = false;          // the program takes the screen itself, as without game mode
};

void PrintTo(const DesktopCase& param, std::ostream* out) { *out << param.name; }

// The outputs XWayland shows, each as its geometry.
std::set<std::string> shownOutputs(::Display* x)
{
    std::set<std::string> shown;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(x, DefaultRootWindow(x));
    for (int k = 0; k < resources->ncrtc; ++k) {
        XRRCrtcInfo* crtc = XRRGetCrtcInfo(x, resources, resources->crtcs[k]);
        if (crtc->mode != None) shown.insert(geometry(int(crtc->width), int(crtc->height), crtc->x, crtc->y));
        XRRFreeCrtcInfo(crtc);
    }
    XRRFreeScreenResources(resources);
    return shown;
}

std::string joined(const std::set<std::string>& items)
{
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : " ") + item;
    return text.empty() ? "none" : text;
}

// sway with XWayland for each case. sway refuses root, so for root it runs
// as nobody and lets root into its XWayland through xhost.
class UnderXWayland : public ::testing::TestWithParam<DesktopCase> {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kantenwerk-sway-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        dir = pattern;
        const std::string runtime = dir + "/runtime";
        fs::create_directory(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        std::ofstream config(dir + "/config");
        for (std::size_t k = 0; k < GetParam().outputs.size(); ++k) {
            const Output& o = GetParam().outputs[k];
            config << "output HEADLESS-" << k + 1 << " resolution " << o.width << "x" << o.height << " position "
                   << o.x << " " << o.y << "\n";
        }
        // The display is named only once the tests' user may connect.
        config << "xwayland enable\nexec sh -c 'xhost +si:localuser:" << getpwuid(geteuid())->pw_name
               << " && echo $DISPLAY $WAYLAND_DISPLAY >" << runtime << "/new && mv " << runtime << "/new " << runtime
               << "/display'\n";
        config.close();
        // Made by sway for XWayland, the folder of X sockets would be its
        // user's alone and shut every other user's X server out; at boot it
        // is 1777, which a machine where no X server ran has not had yet.
        // One of a user's own still turns away every other user's sway, so
        // a folder made here goes again at the end.
        madeSocketFolder = mkdir("/tmp/.X11-unix", 0) == 0;
        if (madeSocketFolder) chmod("/tmp/.X11-unix", 01777);
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            ASSERT_TRUE(nobody);
            // All of sway's is nobody's, whatever the umask.
            for (const std::string& path : {dir, runtime, dir + "/config"})
                ASSERT_EQ(chown(path.c_str(), nobody->pw_uid, nobody->pw_gid), 0) << path;
            asSwaysUser = {"setpriv", "--reuid=" + std::to_string(nobody->pw_uid),
                           "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups", "--pdeathsig=TERM"};
        }
        environment = {{"XDG_RUNTIME_DIR", runtime},
                       {"HOME", dir},
                       {"WLR_BACKENDS", "headless"},
                       {"WLR_RENDERER", "pixman"},
                       {"WLR_LIBINPUT_NO_DEVICES", "1"},
                       {"WLR_HEADLESS_OUTPUTS", std::to_string(GetParam().outputs.size())}};
        sway = startAsSwaysUser({"sway", "-c", dir + "/config"});
        waitUntil([&] {
            return !sway->isRunning() || bool(std::ifstream(runtime + "/display") >> display >> environment["WAYLAND_DISPLAY"]);
        }, 20s, 20ms);
        ASSERT_FALSE(display.empty()) << "cannot start sway with XWayland:\n" << sway->stderrText();
        session = std::make_unique<XSession>(display);
        // An output's size may come a moment after its place.
        for (const Output& o : GetParam().outputs) configured.insert(geometry(o.width, o.height, o.x, o.y));
        std::set<std::string> shown;
        waitUntil([&] { return (shown = shownOutputs(session->display())) == configured || !sway->isRunning(); }, 20s,
                  50ms);
        ASSERT_EQ(shown, configured) << "XWayland shows " << joined(shown) << " of " << joined(configured)
                                     << "; sway:\n" << sway->stderrText();
    }

    std::unique_ptr<ChildProcess> startAsSwaysUser(const std::vector<std::string>& command)
    {
        std::vector<std::string> line = asSwaysUser;
        line.insert(line.end(), command.begin(), command.end());
        return std::make_unique<ChildProcess>(line.front(), std::vector<std::string>(line.begin() + 1, line.end()),
                                              environment);
    }

    void TearDown() override
    {
        session.reset();
        if (sway) {
            // SIGTERM lets sway take XWayland down, lock and socket with it.
            sway->signalGroup(SIGTERM);
            EXPECT_NO_THROW(sway->waitExit(5s));
        }
        std::error_code ignored;
        fs::remove_all(dir, ignored);
        // Only while empty: another server's socket keeps it.
        if (madeSocketFolder) rmdir("/tmp/.X11-unix");
    }

    // Escape from a virtual keyboard of sway's, which reaches XWayland as a
    // user's keyboard does: XTest reaches no X client under some versions.
    // A new keyboard's first key may be lost while XWayland takes its keymap,
    // so a harmless key goes first, and Escape again until the program ends.
    ExitStatus escapeUntilEnded(ChildProcess& program)
    {
        std::string typed;
        for (int attempt = 0; attempt < 5; ++attempt) {
            const auto keyboard = startAsSwaysUser({"wtype", "-M", "shift", "-m", "shift", "-s", "700", "-k", "Escape"});
            if (!waitUntil([&] { return !keyboard->isRunning(); }, 10s, 20ms))
                throw std::runtime_error("wtype hangs\n" + keyboard->stderrText() + "sway:\n" + sway->stderrText());
            typed += "wtype: " + keyboard->waitExit(1s).describe() + " " + keyboard->stderrText() + "\n";
            if (waitUntil([&] { return !program.isRunning(); }, 3s, 20ms)) return program.waitExit(1s);
        }
        throw std::runtime_error("still running after Escape 5 times\n" + typed + program.stderrText());
    }

    std::string dir;
    bool madeSocketFolder = false;
    std::vector<std::string> asSwaysUser;  // the command prefix that runs as sway's user
    std::map<std::string, std::string> environment;  // sway's and its keyboards'
    std::unique_ptr<ChildProcess> sway;
    std::string display;
    std::unique_ptr<XSession> session;
    std::set<std::string> configured;  // the outputs' geometries
};

int ignoreXError(::Display*, XErrorEvent*) { return 0; }

// The program's top-level window once it is shown, and where: game mode's,
// which freeglut names FREEGLUT, or the one it makes its own way.
Window gameModeWindow(::Display* display, std::string& where)
{
    // A window listed may be gone by the time it is asked for its name.
    const XErrorHandler previous = XSetErrorHandler(ignoreXError);
    Window root = DefaultRootWindow(display), parent, *children = nullptr, found = None;
    unsigned count = 0;
    XQueryTree(display, root, &root, &parent, &children, &count);
    for (unsigned k = 0; k < count && found == None; ++k) {
        char* name = nullptr;
        XWindowAttributes a;
        if (XFetchName(display, children[k], &name) &&
            (std::string(name) == "FREEGLUT" || std::string(name) == "Kantenwerk") &&
            XGetWindowAttributes(display, children[k], &a) && a.map_state == IsViewable) {
            found = children[k];
            where = geometry(a.width, a.height, a.x, a.y);
        }
        XFree(name);
    }
    XFree(children);
    XSync(display, False);
    XSetErrorHandler(previous);
    return found;
}

// First and last white pixel on a row (or column) through the picture.
std::pair<int, int> whiteSpan(const ScreenImage& picture, bool row, int at)
{
    std::pair<int, int> span{-1, -1};
    for (int k = 0; k < (row ? picture.width() : picture.height()); ++k) {
        if (picture.pixel(row ? k : at, row ? at : k) != Rgb{255, 255, 255}) continue;
        if (span.first < 0) span.first = k;
        span.second = k;
    }
    return span;
}

// XWayland emulates video modes on one output, which one differs between
// its versions. The program must fill exactly that output, the square as
// high as it and centred, whether or not an output stands at the top-left.
TEST_P(UnderXWayland, FillsTheOutputWhoseModeItTookWithTheSquareCentred)
{
    ::Display* x = session->display();
    int dotClock = 0, viewX = 0, viewY = 0;
    XF86VidModeModeLine line{};
    ASSERT_TRUE(XF86VidModeGetModeLine(x, 0, &dotClock, &line) && XF86VidModeGetViewPort(x, 0, &viewX, &viewY));
    XFree(line.c_private);
    const int width = line.hdisplay, height = line.vdisplay;
    const std::string emulated = geometry(width, height, viewX, viewY);
    ASSERT_EQ(configured.count(emulated), 1u) << "XWayland emulates modes at " << emulated;

    ChildProcess program(GetParam().ownWay ? KANTENWERK_PROBE_NOGAMEMODE : KANTENWERK_PROGRAM, {},
                         {{"DISPLAY", display}});
    Window window = None;
    std::string placed = "nowhere";
    waitUntil([&] {
        window = gameModeWindow(x, placed);
        return placed == emulated || !program.isRunning();
    }, 20s, 20ms);
    ASSERT_EQ(placed, emulated) << program.stdoutText() << program.stderrText();
    const std::string named = "Bildschirmaufloesung " + std::to_string(width) + "x" + std::to_string(height) + " ";
    // Printed before the window was made, but read from the pipe on a thread of the test's own.
    EXPECT_TRUE(waitUntil([&] { return program.stdoutText().find(named) != std::string::npos; }, 5s))
        << program.stdoutText();

    // The four white quarters of the start picture form one square.
    std::pair<int, int> across, down;
    const bool square = waitUntil([&] {
        const ScreenImage picture = session->captureArea(0, 0, width, height, window);
        across = whiteSpan(picture, true, height / 2 + height / 8);
        down = whiteSpan(picture, false, width / 2 + height / 8);
        return down.second - down.first > height / 4 && std::abs(across.first + across.second - (width - 1)) <= 2 &&
               std::abs(down.first + down.second - (height - 1)) <= 2 &&
               std::abs((across.second - across.first) - (down.second - down.first)) <= 2;
    }, 20s, 50ms);
    EXPECT_TRUE(square) << "white from x " << across.first << " to " << across.second << ", from y " << down.first
                        << " to " << down.second << " in " << emulated;

    const ExitStatus status = escapeUntilEnded(program);
    EXPECT_TRUE(status.succeeded()) << status.describe() << "\n" << program.stderrText();
}

INSTANTIATE_TEST_SUITE_P(
    Sway, UnderXWayland,
    ::testing::Values(DesktopCase{"OneOutput", {{1920, 1080, 0, 0}}},
                      DesktopCase{"TopsAligned", {{1920, 1080, 0, 0}, {2560, 1440, 1920, 0}}},
                      DesktopCase{"BottomsAligned", {{1920, 1080, 0, 360}, {2560, 1440, 1920, 0}}},
                      DesktopCase{"BottomsAlignedOtherWayRound", {{2560, 1440, 1920, 0}, {1920, 1080, 0, 360}}},
                      DesktopCase{"OneOutputWithoutGameMode", {{1920, 1080, 0, 0}}, true},
                      DesktopCase{"BottomsAlignedWithoutGameMode", {{1920, 1080, 0, 360}, {2560, 1440, 1920, 0}}, true}),
    ::testing::PrintToStringParamName());

}  // namespace
