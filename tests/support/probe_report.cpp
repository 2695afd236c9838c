#include "probe_report.h"

#include <sstream>

namespace kantenwerk::testsupport {

ProbeReport parseProbeReport(const std::string& text)
{
    ProbeReport report;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string name;
        fields >> name;
        if (name == "activeSlot") {
            fields >> report.activeSlot;
        } else if (name == "frames") {
            fields >> report.frames;
        } else if (name == "working" || name.rfind("slot", 0) == 0) {
            Matrix m{};
            for (float& value : m) fields >> value;
            if (fields) report.matrices[name] = m;
        }
    }
    return report;
}

}  // namespace kantenwerk::testsupport
