// What the test build of the program (kantenwerk_probe) writes to standard
// error at exit: the orientation matrices and the active slot.
#pragma once

#include <array>
#include <map>
#include <string>

namespace kantenwerk::testsupport {

using Matrix = std::array<float, 16>;

struct ProbeReport {
    std::map<std::string, Matrix> matrices;  // slot1, slot2, slot3, working
    int activeSlot = -1;
};

// Lines that are not part of the report are skipped.
ProbeReport parseProbeReport(const std::string& text);

}  // namespace kantenwerk::testsupport
