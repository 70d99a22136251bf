#pragma once

#include "matcher/matchresult.h"
#include "model/searchresult.h"
#include "model/snippet.h"
#include "registry/snippetentry.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace korvane {

// One snippet that matched a query, with how it matched. The entry belongs to the registry's index
// and `position` is its place there. The index is in label order, so among equal matches the lower
// position is the label that sorts first (and, for labels that collate equal, the one indexed first).
struct RankedMatch {
    const SnippetEntry* entry;
    std::uint32_t position;
    MatchResult match;
};

// The frecency score of a match's snippet; always finite.
using MatchFrecency = std::function<double(const RankedMatch&)>;

// With this many strong (non-fuzzy) matches the fuzzy ones are left out.
inline constexpr std::size_t enoughStrongMatches = 10;
// At most this many fuzzy matches follow fewer strong ones.
inline constexpr std::size_t weakMatchLimit = 20;

// What of `matches`, in index order, is worth showing for a query of `queryLength` characters, best first:
// higher quality, then higher score within the quality, then higher frecency (when `frecency` is given), then
// lower index position. For an empty query that is every match; otherwise the strong matches, followed by the
// best fuzzy ones unless there are enough strong ones. Only what is shown gets ordered, and frecency is only
// read where it decides something. Main thread.
std::vector<SearchResult> rankedCut(const std::vector<RankedMatch>& matches, const MatchFrecency& frecency,
                                    std::size_t queryLength);

} // namespace korvane
