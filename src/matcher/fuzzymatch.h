#pragma once

#include "base/textrange.h"
#include "matcher/matchresult.h"

#include <cstddef>
#include <optional>
#include <string_view>

namespace korvane {

// Matches `query` against `text` through the whole cascade: prefix, word boundary, substring,
// plausible fuzzy subsequence, then typo tolerance on the last path component. Unless
// `caseSensitive`, both are lower-cased first; word boundaries always come from `text` as typed.
// Positions are grapheme clusters. Pure; callable from any thread. Pure-ASCII inputs allocate
// nothing unless they match.
std::optional<MatchResult> fuzzyMatch(std::string_view query, std::string_view text, bool caseSensitive);

// Whether a fuzzy subsequence is tight enough to count: the spread from its first to its last range
// relative to `textLength`, and for three or more characters the gaps between the ranges, stay
// within limits that loosen with the query's length.
bool isPlausibleFuzzyMatch(const TextRanges& ranges, std::size_t queryLength, std::size_t textLength);

} // namespace korvane
