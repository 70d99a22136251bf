#pragma once

#include "matcher/bytesearch.h"
#include "matcher/matchresult.h"
#include "matcher/matchtuning.h"
#include "matcher/segmentation.h"
#include "matcher/textunits.h"
#include "matcher/typomatch.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>

// The five tests of the text matcher (prefix, word boundary, substring, plausible fuzzy subsequence,
// typo tolerance) written once over any units: bytes, grapheme clusters or a mix.
namespace korvane::detail {

inline double spanRatio(std::size_t firstStart, std::size_t lastStart, std::size_t textLength) {
    const double span = static_cast<double>(lastStart) - static_cast<double>(firstStart);
    return textLength == 0 ? 0.0 : span / static_cast<double>(textLength);
}

template <class Query, class Text> bool unitsEqualAt(const Query& query, const Text& text, std::size_t at) {
    for (std::size_t j = 0; j < query.size(); ++j) {
        if (!unitEquals(query[j], text[at + j])) {
            return false;
        }
    }
    return true;
}

// The first position at or after `from` at which the query's units occur in the text. The search
// runs on the contiguous bytes of both; a byte hit counts when it begins a unit and the units agree
// there.
template <class Query, class Text>
std::optional<std::size_t> findSubstring(const Query& query, const Text& text, std::size_t from = 0) {
    const std::size_t n = query.size();
    if (text.size() < n || from > text.size() - n) {
        return std::nullopt;
    }
    if (n == 0) {
        return from;
    }
    const std::string_view needle = unitBytes(query);
    const std::string_view haystack = unitBytes(text);
    for (std::size_t byteFrom = unitByteOffset(text, from); byteFrom < haystack.size();) {
        const std::size_t hit = findBytes(haystack.substr(byteFrom), needle);
        if (hit == std::string_view::npos) {
            break;
        }
        const std::size_t at = byteFrom + hit;
        byteFrom = at + 1;
        if constexpr (std::is_same_v<Query, std::string_view> && std::is_same_v<Text, std::string_view>) {
            return at;
        } else {
            const auto index = unitStartingAt(text, at);
            if (index && *index + n <= text.size() && unitsEqualAt(query, text, *index)) {
                return index;
            }
        }
    }
    return std::nullopt;
}

inline MatchResult singleRangeResult(MatchQuality quality, std::size_t start, std::size_t length,
                                     double score) {
    return MatchResult{quality, TextRanges{TextRange{start, start + length}}, score};
}

// The position of the first unit of `text` at or after `from` that equals `unit`, or the text's size.
template <class Unit, class Text> std::size_t findUnit(const Unit& unit, const Text& text, std::size_t from) {
    if constexpr (std::is_same_v<Text, std::string_view> && std::is_same_v<std::decay_t<Unit>, char>) {
        return findByteFrom(text, unit, from);
    } else if constexpr (std::is_same_v<Text, GraphemeText>) {
        // Search the bytes for the unit's first byte, then keep the first hit that begins a cluster
        // equal to the unit.
        const char first = unitAsBytes(unit).front();
        const std::string_view haystack = text.bytes();
        for (std::size_t at = findByteFrom(haystack, first, text.byteOffset(from)); at < haystack.size();
             at = findByteFrom(haystack, first, at + 1)) {
            if (const auto index = text.clusterStartingAt(at); index && unitEquals(unit, text[*index])) {
                return *index;
            }
        }
        return text.size();
    }
    std::size_t at = from;
    while (at < text.size() && !unitEquals(unit, text[at])) {
        ++at;
    }
    return at;
}

// The greedy fuzzy subsequence, checked for plausibility as it goes so that a failing candidate
// costs one scan and no allocation; the ranges and the boundary bonus are only worked out for a match.
template <class Query, class Text, class SegmentLookup>
std::optional<MatchResult> fuzzySubsequence(const Query& query, const Text& text, SegmentLookup& segments) {
    const std::size_t n = query.size();
    const std::size_t m = text.size();
    if (n == 0) {
        return std::nullopt;
    }
    const tuning::FuzzyLimits limits = tuning::fuzzyLimits(n);
    std::size_t first = 0;
    std::size_t last = 0;
    std::size_t position = 0;
    for (std::size_t j = 0; j < n; ++j) {
        const std::size_t found = findUnit(query[j], text, position);
        if (found == m) {
            return std::nullopt;
        }
        if (j == 0) {
            first = found;
        } else if (found - position > limits.maxGap || spanRatio(first, found, m) > limits.maxRatio) {
            // The greedy positions only move right, so a spread or gap past its limit stays past it.
            return std::nullopt;
        }
        last = found;
        position = found + 1;
    }

    TextRanges ranges;
    ranges.reserve(n);
    position = 0;
    for (std::size_t j = 0; j < n; ++j) {
        position = findUnit(query[j], text, position);
        ranges.push_back({position, position + 1});
        ++position;
    }
    double score = std::max(1.0 - spanRatio(first, last, m), tuning::minimumSpreadScore);
    if (n >= 3) {
        std::size_t boundaryHits = 0;
        for (const TextRange& range : ranges) {
            if (segments.segmentAt(range.start)) {
                ++boundaryHits;
            }
        }
        score += tuning::fuzzyWordStartBonus * static_cast<double>(boundaryHits) / static_cast<double>(n);
    }
    return MatchResult{MatchQuality::fuzzy, std::move(ranges), std::min(score, 1.0)};
}

// The word-boundary test from the query's first occurrence on: the first segment that begins with the
// query and holds it whole. With the segment starts at hand it walks them, a handful per text;
// otherwise it walks the occurrences of the query, which need not begin segments.
template <class Query, class Text, class SegmentLookup>
std::optional<MatchResult> wordBoundaryFrom(const Query& query, const Text& text, SegmentLookup& segments,
                                            std::size_t first) {
    const std::size_t n = query.size();
    const auto wordAt = [&](std::size_t at) -> std::optional<MatchResult> {
        if (const auto segment = segments.segmentAt(at); segment && segment->end - segment->start >= n) {
            return singleRangeResult(MatchQuality::wordBoundary, at, n, boundaryScore(segment->boundaryType));
        }
        return std::nullopt;
    };
    if constexpr (requires { segments.nextStart(first); }) {
        for (std::size_t at = segments.nextStart(first); at + n <= text.size();
             at = segments.nextStart(at + 1)) {
            if (unitsEqualAt(query, text, at)) {
                if (auto word = wordAt(at)) {
                    return word;
                }
            }
        }
    } else {
        for (auto at = std::optional<std::size_t>(first); at; at = findSubstring(query, text, *at + 1)) {
            if (auto word = wordAt(*at)) {
                return word;
            }
        }
    }
    return std::nullopt;
}

// The whole cascade. `segments` finds the segment of the text as typed (before lower-casing) that
// begins at a position, asked for positions in rising order; callers may segment lazily, as most
// candidates are decided without it. The text and query are compared as given.
//
// A prefix or word-boundary match is also an occurrence of the query, so one substring search up
// front decides the first three tests for the common text that does not contain the query, and the
// word-boundary test only looks at the places where the query occurs.
template <class Query, class Text, class SegmentLookup>
std::optional<MatchResult> runCascade(const Query& query, const Text& text, SegmentLookup&& segments) {
    const std::size_t n = query.size();
    const std::size_t m = text.size();

    if (const auto first = findSubstring(query, text)) {
        if (*first == 0) {
            return singleRangeResult(MatchQuality::prefix, 0, n, tuning::prefixScore);
        }
        if (const auto word = wordBoundaryFrom(query, text, segments, *first)) {
            return word;
        }
        const auto slash = lastIndexOf(text, '/', m);
        const double score =
            (slash && *first < *slash + 1) ? tuning::directorySubstringScore : tuning::substringScore;
        return singleRangeResult(MatchQuality::substring, *first, n, score);
    }

    if (auto fuzzy = fuzzySubsequence(query, text, segments)) {
        return fuzzy;
    }
    return lastComponentTypo(query, text, m);
}

} // namespace korvane::detail
