#include "popup/labelcachekey.h"

#include <cmath>
#include <limits>

namespace korvane {
namespace {

void combine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

} // namespace

int LabelCacheKey::quantizeFontSize(double fontSize) {
    const double tenths = std::trunc(fontSize * 10);
    if (std::isnan(tenths)) {
        return 0;
    }
    // Compared as doubles before converting, since converting an out-of-range double is undefined.
    if (tenths >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    if (tenths <= static_cast<double>(std::numeric_limits<int>::min())) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(tenths);
}

std::size_t LabelCacheKey::hash() const {
    std::size_t seed = std::hash<std::string>{}(snippetID);
    combine(seed, matchRanges.size());
    for (const TextRange& range : matchRanges) {
        combine(seed, range.start);
        combine(seed, range.end);
    }
    combine(seed, isGlassMode ? 1 : 0);
    combine(seed, std::hash<int>{}(fontSizeQuantized));
    return seed;
}

} // namespace korvane
