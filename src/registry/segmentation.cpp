#include "registry/segmentation.h"

#include "base/graphemetext.h"
#include "base/unicode.h"
#include "registry/bytesearch.h"

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

std::optional<SegmentRange> AsciiSegmentCursor::next() {
    const std::size_t length = bytes_.size();
    while (position_ < length) {
        // Only separators and upper-case letters can open or close a segment, so skip to the next.
        const std::size_t i = findSegmentMark(bytes_, position_);
        if (i == length) {
            position_ = length;
            break;
        }
        position_ = i + 1;
        const std::uint8_t current = classOf(bytes_[i]);
        const std::uint8_t previous = i == 0 ? std::uint8_t{uncasedByte} : classOf(bytes_[i - 1]);
        std::optional<SegmentRange> closed;
        if (current == separatorByte) {
            if (segmentStart_ < i) {
                closed = SegmentRange{segmentStart_, i,
                                      segmentStart_ == 0 ? BoundaryType::start : BoundaryType::explicit_};
            }
            segmentStart_ = i + 1;
        } else if (current == upperByte && i >= 1 &&
                   (previous == lowerByte ||
                    (previous == upperByte && i + 1 < length && classOf(bytes_[i + 1]) == lowerByte))) {
            if (segmentStart_ < i) {
                closed = SegmentRange{segmentStart_, i,
                                      segmentStart_ == 0 ? BoundaryType::start : BoundaryType::camelCase};
            }
            segmentStart_ = i;
        }
        if (closed) {
            return closed;
        }
    }
    if (!finished_) {
        finished_ = true;
        if (segmentStart_ < length) {
            return SegmentRange{segmentStart_, length,
                                segmentStart_ == 0 ? BoundaryType::start : BoundaryType::camelCase};
        }
    }
    return std::nullopt;
}

void collectSegments(std::string_view bytes, std::vector<SegmentRange>& out) {
    AsciiSegmentCursor cursor(bytes);
    while (const auto segment = cursor.next()) {
        out.push_back(*segment);
    }
}

} // namespace detail
} // namespace korvane
