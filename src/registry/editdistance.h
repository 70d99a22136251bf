#pragma once

#include "registry/textunits.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace korvane {

// The Levenshtein distance of `a` and `b` in grapheme clusters (insertion, deletion and substitution
// cost 1 each), or nothing as soon as it is certain to exceed `maxDistance`. Unless `caseSensitive`,
// both texts are lower-cased first.
std::optional<std::size_t> boundedEditDistance(std::string_view a, std::string_view b,
                                               std::size_t maxDistance, bool caseSensitive);

namespace detail {

// The bounded distance over prepared units. Short texts keep both rows on the stack, so the
// per-candidate typo check of a large ranking pass allocates nothing.
template <class A, class B>
std::optional<std::size_t> editDistanceWithin(const A& a, const B& b, std::size_t maxDistance) {
    const std::size_t aLength = a.size();
    const std::size_t bLength = b.size();
    if ((aLength > bLength ? aLength - bLength : bLength - aLength) > maxDistance) {
        return std::nullopt;
    }
    constexpr std::size_t stackColumns = 128;
    std::array<std::size_t, 2 * stackColumns> stackRows;
    std::vector<std::size_t> heapRows;
    std::size_t* rows = stackRows.data();
    if (bLength + 1 > stackColumns) {
        heapRows.resize(2 * (bLength + 1));
        rows = heapRows.data();
    }
    std::size_t* previous = rows;
    std::size_t* current = rows + (bLength + 1);
    for (std::size_t j = 0; j <= bLength; ++j) {
        previous[j] = j;
    }
    for (std::size_t i = 1; i <= aLength; ++i) {
        current[0] = i;
        std::size_t rowMinimum = i;
        for (std::size_t j = 1; j <= bLength; ++j) {
            const std::size_t substitution = previous[j - 1] + (unitEquals(a[i - 1], b[j - 1]) ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
            rowMinimum = std::min(rowMinimum, current[j]);
        }
        if (rowMinimum > maxDistance) {
            return std::nullopt;
        }
        std::swap(previous, current);
    }
    if (previous[bLength] > maxDistance) {
        return std::nullopt;
    }
    return previous[bLength];
}

} // namespace detail
} // namespace korvane
