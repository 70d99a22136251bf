#pragma once

#include "base/textrange.h"

#include <cstddef>
#include <functional>
#include <string>

namespace korvane {

// The key of one highlighted label in the popup's label cache: the snippet, its match ranges, the
// surface and the font size in tenths of a point. A plain value.
struct LabelCacheKey {
    std::string snippetID;
    TextRanges matchRanges;
    bool isGlassMode = false;
    int fontSizeQuantized = 0;

    // Ten times `fontSize`, cut toward zero and held within the range of int; 0 for a size that is
    // not a number, so that no configured size can overflow the key.
    static int quantizeFontSize(double fontSize);

    bool operator==(const LabelCacheKey&) const = default;
    std::size_t hash() const;
};

} // namespace korvane

template <> struct std::hash<korvane::LabelCacheKey> {
    std::size_t operator()(const korvane::LabelCacheKey& key) const noexcept { return key.hash(); }
};
