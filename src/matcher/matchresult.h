#pragma once

#include "base/textrange.h"

#include <optional>

namespace korvane {

// How a query matched a text, in rising order of strength; the registry and the file path ranker
// rank on it first.
enum class MatchQuality : int {
    fuzzy = 1,
    substring = 2,
    wordBoundary = 3,
    prefix = 4,
};

// The quality of a raw value 1 to 4; nothing for any other value.
std::optional<MatchQuality> matchQualityFromRawValue(int rawValue);

// The outcome of matching one query against one text: its quality, the score within that quality
// and the ascending, disjoint character ranges of the text to highlight.
struct MatchResult {
    MatchQuality quality = MatchQuality::fuzzy;
    TextRanges ranges;
    double subScore = 0.0;

    bool operator==(const MatchResult&) const = default;
};

} // namespace korvane
