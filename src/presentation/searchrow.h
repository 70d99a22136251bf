#pragma once

#include "presentation/searchrowkind.h"

#include <optional>
#include <string>

namespace korvane {

// One row of the search list with its identity within its presentation ("header:", "scope:" or
// "snippet:" followed by the section id, the scope's primary alias or the snippet id).
// A plain value without equality; the list views key their rows on `id`.
struct SearchRow {
    SearchRowKind kind;
    std::string id;
    std::optional<std::string> sectionID;
    bool isSelectable = false;
};

} // namespace korvane
