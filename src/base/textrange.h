#pragma once

#include "base/smallvector.h"

#include <cstddef>

namespace korvane {

// A half-open range [start, end) of character positions (extended grapheme clusters) in a text.
struct TextRange {
    std::size_t start = 0;
    std::size_t end = 0;

    std::size_t length() const { return end - start; }
    bool operator==(const TextRange&) const = default;
};

// Highlight ranges of one match. A prefix, word-boundary or substring match has one range, which
// stays inside the object.
using TextRanges = SmallVector<TextRange, 1>;

} // namespace korvane
