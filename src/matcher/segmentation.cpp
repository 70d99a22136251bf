#include "matcher/segmentation.h"

#include "base/graphemetext.h"
#include "base/unicode.h"
#include "matcher/bytesearch.h"
#include "matcher/matchtuning.h"

#include <array>
#include <cstdint>

namespace korvane {

double boundaryScore(BoundaryType type) {
    switch (type) {
    case BoundaryType::explicit_:
        return tuning::separatorWordScore;
    case BoundaryType::camelCase:
        return tuning::camelCaseWordScore;
    case BoundaryType::start:
        return tuning::textStartWordScore;
    }
    return tuning::textStartWordScore;
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

bool AsciiSegmentLookup::caseBoundaryAt(std::size_t position) const {
    if (position == 0 || classOf(bytes_[position]) != upperByte) {
        return false;
    }
    const std::uint8_t previous = classOf(bytes_[position - 1]);
    return previous == lowerByte || (previous == upperByte && position + 1 < bytes_.size() &&
                                     classOf(bytes_[position + 1]) == lowerByte);
}

std::optional<SegmentRange> AsciiSegmentLookup::segmentAt(std::size_t start) const {
    const std::size_t length = bytes_.size();
    if (start >= length || classOf(bytes_[start]) == separatorByte) {
        return std::nullopt;
    }
    if (start > 0 && classOf(bytes_[start - 1]) != separatorByte && !caseBoundaryAt(start)) {
        return std::nullopt;
    }
    // The segment runs to the next separator or case boundary, whichever closes it.
    for (std::size_t end = findSegmentMark(bytes_, start + 1); end < length;
         end = findSegmentMark(bytes_, end + 1)) {
        if (classOf(bytes_[end]) == separatorByte) {
            return SegmentRange{start, end, start == 0 ? BoundaryType::start : BoundaryType::explicit_};
        }
        if (caseBoundaryAt(end)) {
            return SegmentRange{start, end, start == 0 ? BoundaryType::start : BoundaryType::camelCase};
        }
    }
    return SegmentRange{start, length, start == 0 ? BoundaryType::start : BoundaryType::camelCase};
}

} // namespace detail
} // namespace korvane
