#pragma once

#include "matcher/textunits.h"

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

// The bounded distance over prepared units. Only cells within `maxDistance` of the diagonal can hold
// a distance within the bound, so each row computes that band alone and everything outside it counts
// as one past the bound. Short texts keep both rows on the stack, so the per-candidate typo check of
// a large ranking pass allocates nothing.
template <class A, class B>
std::optional<std::size_t> editDistanceWithin(const A& a, const B& b, std::size_t maxDistance) {
    const std::size_t aLength = a.size();
    const std::size_t bLength = b.size();
    if ((aLength > bLength ? aLength - bLength : bLength - aLength) > maxDistance) {
        return std::nullopt;
    }
    const std::size_t beyond = maxDistance + 1;
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
        previous[j] = std::min(j, beyond);
    }
    for (std::size_t i = 1; i <= aLength; ++i) {
        const std::size_t first = i > maxDistance ? i - maxDistance : 1;
        const std::size_t last = std::min(bLength, i + maxDistance);
        current[first - 1] = first == 1 ? std::min(i, beyond) : beyond;
        std::size_t rowMinimum = current[first - 1];
        for (std::size_t j = first; j <= last; ++j) {
            const std::size_t substitution = previous[j - 1] + (unitEquals(a[i - 1], b[j - 1]) ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution, beyond});
            rowMinimum = std::min(rowMinimum, current[j]);
        }
        if (rowMinimum > maxDistance) {
            return std::nullopt;
        }
        // The next row reads one cell past this band.
        if (last < bLength) {
            current[last + 1] = beyond;
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
