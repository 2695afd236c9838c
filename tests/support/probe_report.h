// What the test build of the program (kantenwerk_probe) writes to standard
// error at exit: the orientation matrices, the active slot and the frame count.
#pragma once

#include <array>
#include <map>
#include <string>

namespace kantenwerk::testsupport {

using Matrix = std::array<float, 16>;

struct ProbeReport {
    std::map<std::string, Matrix> matrices;  // slot1, slot2, slot3, working
    int activeSlot = -1;
    int frames = -1;  // frames presented over the whole run
};

// Lines that are not part of the report are skipped.
ProbeReport parseProbeReport(const std::string& text);

}  // namespace kantenwerk::testsupport
