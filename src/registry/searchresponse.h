#pragma once

#include "model/snippet.h"
#include "model/snippetsource.h"
#include "registry/querychip.h"
#include "model/searchresult.h"

#include <optional>
#include <vector>

namespace korvane {

// The answer of one registry search, with the chip and scope of the query it was found for.
struct SearchResponse {
    std::vector<SearchResult> results;
    std::optional<QueryChip> displayChip;
    std::optional<SnippetSource> scope;
    bool urlOnly = false;
    // The query named scope sources and the user switched every one of them off.
    bool scopeDisabled = false;
};

} // namespace korvane
