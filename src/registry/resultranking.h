#pragma once

#include "config/snippet.h"
#include "registry/matchresult.h"
#include "registry/snippetentry.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvane {

class HistoryReader;

// One snippet that matched a query, with how it matched. The entry belongs to the registry's index;
// `labelRank` is its label's place in the index order, equal for labels that collate equal.
struct RankedMatch {
    const SnippetEntry* entry;
    std::uint32_t labelRank;
    MatchResult match;
};

// Orders matches best first: higher quality, then higher score within the quality, then (with a
// history) higher frecency, then labels in localized case-insensitive order. Stable. Main thread.
void rankMatches(std::vector<RankedMatch>& matches, const HistoryReader* history);

// With this many strong (non-fuzzy) matches the fuzzy ones are left out.
inline constexpr std::size_t enoughStrongMatches = 10;
// At most this many fuzzy matches follow fewer strong ones.
inline constexpr std::size_t weakMatchLimit = 20;

// What of the ranked matches is worth showing for a query of `queryLength` characters: everything
// for an empty query, else the strong matches, followed by the first fuzzy ones unless there are
// enough strong ones. The highlight ranges of the matches shown move into the results; quality and
// score, all that a later narrowing reads, stay.
std::vector<SearchResult> finalCut(std::vector<RankedMatch>& matches, std::size_t queryLength);

} // namespace korvane
