#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>

// Every number that tunes the matcher's results: how tight a fuzzy subsequence must be, how far a typo
// may stray, and the score each kind of match earns within its quality, by which equal qualities rank.
namespace korvane::tuning {

// How tight a fuzzy subsequence of a query of a given length must be to count: the spread from its
// first to its last character relative to the text's length, and the gap between two of them.
struct FuzzyLimits {
    double maxRatio = 0.0;
    std::size_t maxGap = std::numeric_limits<std::size_t>::max();
};

inline FuzzyLimits fuzzyLimits(std::size_t queryLength) {
    switch (queryLength) {
    case 1:
        return {0.4};
    case 2:
        return {0.6};
    case 3:
        return {0.65, 10};
    default:
        return {0.6, std::max<std::size_t>(2 * queryLength, 10)};
    }
}

// The typo test takes queries of at least this many characters.
inline constexpr std::size_t minimumTypoQueryLength = 4;

// How many edits a mistyped query of `queryLength` characters may be away from the text.
constexpr std::size_t typoEditLimit(std::size_t queryLength) {
    return queryLength < 13 ? 2 : 3;
}

// A prefix match.
inline constexpr double prefixScore = 1.0;
// A word-boundary match by what begins the word: the start of the text, a separator ("-", "_", "/",
// ".") or a change of letter case.
inline constexpr double textStartWordScore = 1.0;
inline constexpr double separatorWordScore = 0.9;
inline constexpr double camelCaseWordScore = 0.7;
// A substring match in the last path component, and one that begins before it.
inline constexpr double substringScore = 0.8;
inline constexpr double directorySubstringScore = 0.4;
// A fuzzy match scores one less its spread, at least this much, plus this bonus in proportion to the
// characters of a query of three or more that begin words.
inline constexpr double minimumSpreadScore = 0.1;
inline constexpr double fuzzyWordStartBonus = 0.2;
// A typo match scores as a fuzzy match without the bonus, times this factor.
inline constexpr double typoScoreFactor = 0.8;

} // namespace korvane::tuning
