#include "registry/segmentation.h"

#include "base/graphemetext.h"
#include "base/unicode.h"

namespace korvane {

double boundaryScore(BoundaryType type) {
    switch (type) {
    case BoundaryType::explicit_:
        return 0.9;
    case BoundaryType::camelCase:
        return 0.7;
    case BoundaryType::start:
        return 1.0;
    }
    return 1.0;
}

std::vector<SegmentRange> segmentRanges(std::string_view text) {
    std::vector<SegmentRange> segments;
    if (isSingleByteClusters(text)) {
        detail::collectSegments(text, segments);
    } else {
        detail::collectSegments(GraphemeText(text), segments);
    }
    return segments;
}

} // namespace korvane
