#pragma once

#include <cstddef>
#include <vector>

namespace korvane {

// A half-open range [start, end) of character positions (extended grapheme clusters) in a text.
struct TextRange {
    std::size_t start = 0;
    std::size_t end = 0;

    std::size_t length() const { return end - start; }
    bool operator==(const TextRange&) const = default;
};

using TextRanges = std::vector<TextRange>;

} // namespace korvane
