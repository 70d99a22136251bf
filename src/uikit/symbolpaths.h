#pragma once

#include <string_view>
#include <vector>

class QPainter;

namespace korvane {

// The drawings behind SymbolIcon, each on a 16 by 16 grid with the pen and brush already set to the
// symbol's colour. Main thread.
struct SymbolPath {
    std::string_view name;
    void (*draw)(QPainter& painter);
};

const std::vector<SymbolPath>& symbolPaths();

} // namespace korvane
