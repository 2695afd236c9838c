#include "fullscreen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Modes = std::vector<std::string>;

struct CandidateCase {
    const char* name;
    DesktopMode desktop;
    Modes expected;
};

const Modes kFixed{"1280x1024:32", "1152x864:32", "1024x768:32", "800x600:32"};

Modes withFirst(const std::string& first, Modes rest)
{
    rest.insert(rest.begin(), first);
    return rest;
}

class ModeCandidates : public ::testing::TestWithParam<CandidateCase> {};

TEST_P(ModeCandidates, AreTriedInThisOrder)
{
    EXPECT_EQ(modeCandidates(GetParam().desktop), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, ModeCandidates,
    ::testing::Values(
        CandidateCase{"XorgAt1600x1200", {1600, 1200, false}, kFixed},
        CandidateCase{"NoModeRead", {0, 0, false}, kFixed},
        CandidateCase{"XWaylandAt1920x1080", {1920, 1080, true}, withFirst("1920x1080:32", kFixed)},
        CandidateCase{"XWaylandAt2560x1440", {2560, 1440, true}, withFirst("2560x1440:32", kFixed)},
        CandidateCase{"XWaylandWithoutSize", {0, 0, true}, kFixed},
        CandidateCase{"XWaylandAtAFixedSizeTriesItOnce", {1024, 768, true},
                      {"1024x768:32", "1280x1024:32", "1152x864:32", "800x600:32"}},
        CandidateCase{"XWaylandAtTheFirstFixedSize", {1280, 1024, true}, kFixed},
        CandidateCase{"XWaylandWithItsRate", {1920, 1080, true, 59, 2}, withFirst("1920x1080:32@59", kFixed)},
        // On Xorg only several monitors make the desktop's own mode worth
        // trying, and only where freeglut would take that very line.
        CandidateCase{"XorgTwoMonitors", {1920, 1080, false, 59, 2}, withFirst("1920x1080:32@59", kFixed)},
        CandidateCase{"XorgTwoMonitorsAnotherLineFirst", {1920, 1080, false, 0, 2}, kFixed},
        CandidateCase{"XorgOneMonitor", {1920, 1080, false, 59, 1}, kFixed}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
