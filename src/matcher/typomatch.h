#pragma once

#include "base/textrange.h"
#include "matcher/editdistance.h"
#include "matcher/matchresult.h"
#include "matcher/matchtuning.h"
#include "matcher/textunits.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace korvane {

// Tolerates a mistyped query of at least four characters: within 2 edits (3 from 13 characters on;
// see matchtuning.h) of `text` without its extension ('config.json' is compared as 'config', '.bashrc' stays
// whole). Returns the characters of the query found in order in that stem, or nothing.
std::optional<TextRanges> typoMatch(std::string_view query, std::string_view text, bool caseSensitive);

// The typo test on the part of `text` after its last "/", with the ranges shifted into `text` and
// the score of a typo match; `textLength` is the length of `text` in characters.
std::optional<MatchResult> lastComponentTypoMatch(std::string_view query, std::string_view text,
                                                  std::size_t textLength, bool caseSensitive);

namespace detail {

inline unsigned char leadByte(char unit) {
    return static_cast<unsigned char>(unit);
}
inline unsigned char leadByte(std::string_view unit) {
    return unit.empty() ? 0 : static_cast<unsigned char>(unit.front());
}

// A cheap necessary condition for two texts to lie within `maxEdits` of each other: their lengths,
// and the characters each has that the other lacks, every one of which costs an edit. Characters
// are grouped by the low six bits of their first byte, which can only hide a difference, never
// invent one, as equal characters have equal first bytes.
template <class A, class B> bool mayBeWithinEdits(const A& a, const B& b, std::size_t maxEdits) {
    if ((a.size() > b.size() ? a.size() - b.size() : b.size() - a.size()) > maxEdits) {
        return false;
    }
    const auto groups = [](const auto& units) {
        std::uint64_t mask = 0;
        for (std::size_t i = 0; i < units.size(); ++i) {
            mask |= std::uint64_t{1} << (leadByte(units[i]) & 63);
        }
        return mask;
    };
    const std::uint64_t inA = groups(a);
    const std::uint64_t inB = groups(b);
    return static_cast<std::size_t>(std::popcount(inA & ~inB)) <= maxEdits &&
           static_cast<std::size_t>(std::popcount(inB & ~inA)) <= maxEdits;
}

// The length of the stem of `text`: what the typo test compares a query with, once it has taken the
// part after the last "/".
template <class Text> std::size_t stemLength(const Text& text) {
    if (const auto dot = lastIndexOf(text, '.', text.size()); dot && *dot > 0) {
        return *dot;
    }
    return text.size();
}

// Where the last component of `text` begins: after its last "/", if any.
template <class Text> std::size_t lastComponentStart(const Text& text) {
    const auto slash = lastIndexOf(text, '/', text.size());
    return slash ? *slash + 1 : 0;
}

template <class Query, class Text>
std::optional<TextRanges> typoRanges(const Query& query, const Text& text) {
    const std::size_t queryLength = query.size();
    if (queryLength < tuning::minimumTypoQueryLength) {
        return std::nullopt;
    }
    const std::size_t maxEdits = tuning::typoEditLimit(queryLength);
    const std::size_t stemLength = detail::stemLength(text);
    const auto stem = sliceOf(text, 0, stemLength);
    if (!mayBeWithinEdits(query, stem, maxEdits) || !editDistanceWithin(query, stem, maxEdits)) {
        return std::nullopt;
    }
    TextRanges ranges;
    std::size_t position = 0;
    for (std::size_t j = 0; j < queryLength; ++j) {
        for (std::size_t k = position; k < stemLength; ++k) {
            if (unitEquals(query[j], stem[k])) {
                ranges.push_back({k, k + 1});
                position = k + 1;
                break;
            }
        }
    }
    if (ranges.empty()) {
        return std::nullopt;
    }
    return ranges;
}

template <class Query, class Text>
std::optional<MatchResult> lastComponentTypo(const Query& query, const Text& text, std::size_t textLength) {
    const std::size_t componentStart = lastComponentStart(text);
    auto ranges = typoRanges(query, sliceOf(text, componentStart, text.size() - componentStart));
    if (!ranges) {
        return std::nullopt;
    }
    for (TextRange& range : *ranges) {
        range.start += componentStart;
        range.end += componentStart;
    }
    const double span = static_cast<double>(ranges->back().start - ranges->front().start);
    const double spread = textLength == 0 ? 0.0 : span / static_cast<double>(textLength);
    return MatchResult{MatchQuality::fuzzy, std::move(*ranges),
                       std::max(1.0 - spread, tuning::minimumSpreadScore) * tuning::typoScoreFactor};
}

} // namespace detail
} // namespace korvane
