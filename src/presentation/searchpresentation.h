#pragma once

#include "model/searchresult.h"
#include "presentation/searchrow.h"
#include "presentation/searchshellvariant.h"

#include <optional>
#include <string>
#include <vector>

namespace korvane {

// What the popup shows for one query in search mode: the rows top to bottom, the results behind the
// snippet rows (in the same order), the row to select first, a message and the shape of the list.
// A plain value without equality: every installation of one counts as a change.
struct SearchPresentation {
    std::vector<SearchRow> rows;
    std::vector<SearchResult> snippetResults;
    std::optional<std::string> initialSelectedRowID;
    std::optional<std::string> message;
    SearchShellVariant variant = SearchShellVariant::mixed;
};

} // namespace korvane
