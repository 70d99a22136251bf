#pragma once

#include <string>
#include <variant>
#include <vector>

namespace korvane {

// The outcome of reading a terminal's project from the programs running in it: one root, several
// panes with different roots and no winner, nothing, or nothing because a pane's folder is hidden
// (where the window's title may not speak either).
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
struct ProcessTreeHidden {
    bool operator==(const ProcessTreeHidden&) const = default;
};
using ProcessTreeDetection =
    std::variant<ProcessTreeFound, ProcessTreeAmbiguous, ProcessTreeNone, ProcessTreeHidden>;

} // namespace korvane
