// The real program as an X client of XWayland, on sway's headless backend
// with one or two outputs, seen from the X side: XWayland's outputs, the
// game-mode window, its picture, the console line and Escape's status.
// gtest comes before Xlib, whose macros (None, Bool) clash with it.
#include <gtest/gtest.h>

#include "child_process.h"
#include "compositor.h"
#include "x_session.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/xf86vmode.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <tuple>

namespace {

using namespace kantenwerk::testsupport;
using namespace std::chrono_literals;

std::string describe(std::vector<OutputSpec> outputs)
{
    std::sort(outputs.begin(), outputs.end(),
              [](const OutputSpec& a, const OutputSpec& b) { return std::tie(a.x, a.y) < std::tie(b.x, b.y); });
    std::ostringstream text;
    for (const OutputSpec& o : outputs) text << o.width << "x" << o.height << "+" << o.x << "+" << o.y << " ";
    return text.str();
}

// The monitors as XWayland shows them to X clients.
std::vector<OutputSpec> xOutputs(::Display* display)
{
    std::vector<OutputSpec> outputs;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
    for (int k = 0; k < resources->ncrtc; ++k) {
        XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, resources->crtcs[k]);
        if (crtc->mode != None) outputs.push_back({int(crtc->width), int(crtc->height), crtc->x, crtc->y});
        XRRFreeCrtcInfo(crtc);
    }
    XRRFreeScreenResources(resources);
    return outputs;
}

int ignoreXError(::Display*, XErrorEvent*) { return 0; }

// Where freeglut's game-mode window stands on the root, or nothing.
std::optional<OutputSpec> gameModeWindow(::Display* display, Window& found)
{
    // A window listed may be gone by the time it is asked for its name.
    const XErrorHandler previous = XSetErrorHandler(ignoreXError);
    Window root = DefaultRootWindow(display), parent, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display, root, &root, &parent, &children, &count);
    std::optional<OutputSpec> where;
    for (unsigned k = 0; k < count && !where; ++k) {
        char* name = nullptr;
        XWindowAttributes attributes;
        if (XFetchName(display, children[k], &name) && std::string(name) == "FREEGLUT" &&
            XGetWindowAttributes(display, children[k], &attributes) && attributes.map_state == IsViewable) {
            where = OutputSpec{attributes.width, attributes.height, attributes.x, attributes.y};
            found = children[k];
        }
        XFree(name);
    }
    XFree(children);
    XSync(display, False);
    XSetErrorHandler(previous);
    return where;
}

// First and last white pixel on a line through the picture.
std::pair<int, int> whiteSpan(const ScreenImage& picture, bool row, int at)
{
    const int length = row ? picture.width() : picture.height();
    int first = -1, last = -1;
    for (int k = 0; k < length; ++k) {
        if (picture.pixel(row ? k : at, row ? at : k) != Rgb{255, 255, 255}) continue;
        if (first < 0) first = k;
        last = k;
    }
    return {first, last};
}

struct DesktopCase {
    std::string name;
    std::vector<OutputSpec> outputs;  // HEADLESS-1, HEADLESS-2
};

void PrintTo(const DesktopCase& param, std::ostream* out) { *out << param.name; }

class UnderXWayland : public ::testing::TestWithParam<DesktopCase> {};

// XWayland emulates video modes on one output, which differs between its
// versions; the program must fill exactly that one, with the cube's square
// as high as it and centred on it, whether or not any output stands at the
// layout's top-left corner.
TEST_P(UnderXWayland, FillsTheOutputWhoseModeItTookWithTheSquareCentred)
{
    Compositor compositor(GetParam().outputs);
    XSession session(compositor.display());
    ::Display* display = session.display();
    ASSERT_EQ(describe(xOutputs(display)), describe(GetParam().outputs));
    int dotClock = 0, viewX = 0, viewY = 0;
    XF86VidModeModeLine line{};
    ASSERT_TRUE(XF86VidModeGetModeLine(display, 0, &dotClock, &line) && XF86VidModeGetViewPort(display, 0, &viewX, &viewY));
    XFree(line.c_private);
    const OutputSpec emulated{line.hdisplay, line.vdisplay, viewX, viewY};
    const std::vector<OutputSpec> outputs = GetParam().outputs;
    ASSERT_TRUE(std::any_of(outputs.begin(), outputs.end(),
                            [&](const OutputSpec& o) { return describe({o}) == describe({emulated}); }))
        << "XWayland emulates modes at " << describe({emulated});

    ChildProcess program(KANTENWERK_PROGRAM, {}, {{"DISPLAY", compositor.display()}});
    Window window = None;
    std::optional<OutputSpec> placed;
    const bool settled = waitUntil([&] {
        placed = gameModeWindow(display, window);
        return (placed && describe({*placed}) == describe({emulated})) || !program.isRunning();
    }, 20s, 20ms);
    ASSERT_TRUE(settled && program.isRunning()) << "window at " << (placed ? describe({*placed}) : "none") << "\n"
                         << program.stdoutText() << program.stderrText();
    const std::string named = "Bildschirmaufloesung " + std::to_string(emulated.width) + "x" +
                              std::to_string(emulated.height) + " Pixel bei 32 bit Farbtiefe";
    EXPECT_NE(program.stdoutText().find(named), std::string::npos) << program.stdoutText();

    // The four white quarters of the start picture form one square.
    std::pair<int, int> across, down;
    const bool square = waitUntil([&] {
        const ScreenImage picture = session.captureArea(0, 0, emulated.width, emulated.height, window);
        across = whiteSpan(picture, true, emulated.height / 2 + emulated.height / 8);
        down = whiteSpan(picture, false, emulated.width / 2 + emulated.height / 8);
        return across.first > 0 && std::abs(across.first + across.second - (emulated.width - 1)) <= 2 &&
               std::abs(down.first + down.second - (emulated.height - 1)) <= 2 &&
               std::abs((across.second - across.first) - (down.second - down.first)) <= 2 &&
               down.second - down.first > emulated.height / 4;
    }, 20s, 50ms);
    EXPECT_TRUE(square) << "white from x " << across.first << " to " << across.second << ", from y " << down.first
                        << " to " << down.second << " in " << describe({emulated});

    session.tapKey(XK_Escape);
    const ExitStatus status = program.waitExit(10s);
    EXPECT_TRUE(status.succeeded()) << status.describe() << "\n" << program.stderrText();
}

INSTANTIATE_TEST_SUITE_P(
    Sway, UnderXWayland,
    ::testing::Values(DesktopCase{"OneOutput", {{1920, 1080, 0, 0}}},
                      DesktopCase{"TopsAligned", {{1920, 1080, 0, 0}, {2560, 1440, 1920, 0}}},
                      DesktopCase{"BottomsAligned", {{1920, 1080, 0, 360}, {2560, 1440, 1920, 0}}},
                      DesktopCase{"BottomsAlignedOtherWayRound", {{2560, 1440, 1920, 0}, {1920, 1080, 0, 360}}}),
    ::testing::PrintToStringParamName());

}  // namespace
