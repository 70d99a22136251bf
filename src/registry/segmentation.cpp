#include "registry/segmentation.h"

#include "base/graphemetext.h"
#include "base/unicode.h"

#include <array>
#include <cstdint>

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

namespace detail {
namespace {

enum AsciiClass : std::uint8_t { uncasedByte, lowerByte, upperByte, separatorByte };

constexpr std::array<std::uint8_t, 256> asciiClasses = [] {
    std::array<std::uint8_t, 256> classes{};
    for (int c = 'a'; c <= 'z'; ++c) {
        classes[static_cast<std::size_t>(c)] = lowerByte;
    }
    for (int c = 'A'; c <= 'Z'; ++c) {
        classes[static_cast<std::size_t>(c)] = upperByte;
    }
    for (const char c : {'-', '_', '/', '.'}) {
        classes[static_cast<std::size_t>(c)] = separatorByte;
    }
    return classes;
}();

std::uint8_t classOf(char c) {
    return asciiClasses[static_cast<unsigned char>(c)];
}

} // namespace

void collectSegments(std::string_view bytes, std::vector<SegmentRange>& out) {
    const std::size_t length = bytes.size();
    std::size_t segmentStart = 0;
    const auto close = [&](std::size_t end, BoundaryType closedBy) {
        if (segmentStart < end) {
            out.push_back({segmentStart, end, segmentStart == 0 ? BoundaryType::start : closedBy});
        }
    };
    std::uint8_t previous = uncasedByte;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t current = classOf(bytes[i]);
        if (current == separatorByte) {
            close(i, BoundaryType::explicit_);
            segmentStart = i + 1;
        } else if (current == upperByte && i >= 1 &&
                   (previous == lowerByte ||
                    (previous == upperByte && i + 1 < length && classOf(bytes[i + 1]) == lowerByte))) {
            close(i, BoundaryType::camelCase);
            segmentStart = i;
        }
        previous = current;
    }
    close(length, BoundaryType::camelCase);
}

} // namespace detail
} // namespace korvane
