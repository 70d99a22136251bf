#pragma once

#include "registry/matchresult.h"
#include "registry/segmentation.h"
#include "registry/textunits.h"
#include "registry/typomatch.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>

// The five tests of the text matcher (prefix, word boundary, substring, plausible fuzzy subsequence,
// typo tolerance) written once over any units: bytes, grapheme clusters or a mix.
namespace korvane::detail {

// How tight a fuzzy subsequence of a query of a given length must be to count.
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

inline double spanRatio(std::size_t firstStart, std::size_t lastStart, std::size_t textLength) {
    const double span = static_cast<double>(lastStart) - static_cast<double>(firstStart);
    return textLength == 0 ? 0.0 : span / static_cast<double>(textLength);
}

template <class Query, class Text>
bool unitsEqualAt(const Query& query, const Text& text, std::size_t at) {
    for (std::size_t j = 0; j < query.size(); ++j) {
        if (!unitEquals(query[j], text[at + j])) {
            return false;
        }
    }
    return true;
}

template <class Query, class Text>
std::optional<std::size_t> findSubstring(const Query& query, const Text& text) {
    const std::size_t n = query.size();
    const std::size_t m = text.size();
    if (m < n) {
        return std::nullopt;
    }
    if constexpr (std::is_same_v<Query, std::string_view> && std::is_same_v<Text, std::string_view>) {
        const std::size_t at = text.find(query);
        return at == std::string_view::npos ? std::nullopt : std::optional<std::size_t>(at);
    } else {
        for (std::size_t i = 0; i + n <= m; ++i) {
            if (unitsEqualAt(query, text, i)) {
                return i;
            }
        }
        return std::nullopt;
    }
}

inline MatchResult singleRangeResult(MatchQuality quality, std::size_t start, std::size_t length, double score) {
    return MatchResult{quality, TextRanges{TextRange{start, start + length}}, score};
}

// The greedy fuzzy subsequence, checked for plausibility as it goes so that a failing candidate
// costs one scan and no allocation; the ranges are only built for a match.
template <class Query, class Text>
std::optional<MatchResult> fuzzySubsequence(const Query& query, const Text& text,
                                            std::span<const SegmentRange> segments) {
    const std::size_t n = query.size();
    const std::size_t m = text.size();
    const FuzzyLimits limits = fuzzyLimits(n);
    std::size_t first = 0;
    std::size_t last = 0;
    std::size_t position = 0;
    std::size_t boundaryHits = 0;
    std::size_t segment = 0;
    for (std::size_t j = 0; j < n; ++j) {
        std::size_t found = position;
        while (found < m && !unitEquals(query[j], text[found])) {
            ++found;
        }
        if (found == m) {
            return std::nullopt;
        }
        if (j == 0) {
            first = found;
        } else if (found - position > limits.maxGap) {
            return std::nullopt;
        }
        last = found;
        while (segment < segments.size() && segments[segment].start < found) {
            ++segment;
        }
        if (segment < segments.size() && segments[segment].start == found) {
            ++boundaryHits;
        }
        position = found + 1;
    }
    if (n == 0 || spanRatio(first, last, m) > limits.maxRatio) {
        return std::nullopt;
    }

    TextRanges ranges;
    ranges.reserve(n);
    position = 0;
    for (std::size_t j = 0; j < n; ++j) {
        while (!unitEquals(query[j], text[position])) {
            ++position;
        }
        ranges.push_back({position, position + 1});
        ++position;
    }
    double score = std::max(1.0 - spanRatio(first, last, m), 0.1);
    if (n >= 3) {
        score += 0.2 * static_cast<double>(boundaryHits) / static_cast<double>(n);
    }
    return MatchResult{MatchQuality::fuzzy, std::move(ranges), std::min(score, 1.0)};
}

// The whole cascade. `segments` is the segmentation of the text as typed (before lower-casing);
// the text and query are compared as given.
template <class Query, class Text>
std::optional<MatchResult> runCascade(const Query& query, const Text& text, std::span<const SegmentRange> segments) {
    const std::size_t n = query.size();
    const std::size_t m = text.size();

    if (m >= n && unitsEqualAt(query, text, 0)) {
        return singleRangeResult(MatchQuality::prefix, 0, n, 1.0);
    }

    for (const SegmentRange& segment : segments) {
        if (segment.start == 0 || segment.end - segment.start < n || segment.start + n > m) {
            continue;
        }
        if (unitsEqualAt(query, text, segment.start)) {
            return singleRangeResult(MatchQuality::wordBoundary, segment.start, n,
                                     boundaryScore(segment.boundaryType));
        }
    }

    if (const auto at = findSubstring(query, text)) {
        const auto slash = lastIndexOf(text, '/', m);
        const double score = (slash && *at < *slash + 1) ? 0.4 : 0.8;
        return singleRangeResult(MatchQuality::substring, *at, n, score);
    }

    if (auto fuzzy = fuzzySubsequence(query, text, segments)) {
        return fuzzy;
    }
    return lastComponentTypo(query, text, m);
}

} // namespace korvane::detail
