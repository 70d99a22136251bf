#pragma once

#include <string>
#include <variant>
#include <vector>

namespace korvane {

// The outcome of reading a terminal's project from the programs running in it: one root, several
// panes with different roots and no winner, or nothing.
struct ProcessTreeFound {
    std::string root;
    bool operator==(const ProcessTreeFound&) const = default;
};
struct ProcessTreeAmbiguous {
    std::vector<std::string> roots;
    bool operator==(const ProcessTreeAmbiguous&) const = default;
};
struct ProcessTreeNone {
    bool operator==(const ProcessTreeNone&) const = default;
};
using ProcessTreeDetection = std::variant<ProcessTreeFound, ProcessTreeAmbiguous, ProcessTreeNone>;

} // namespace korvane
