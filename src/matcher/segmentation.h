#pragma once

#include "matcher/textunits.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace korvane {

// What closes a segment of a text: a separator ("-", "_", "/", "."), a change of letter case or the
// end of the text; `start` marks the segment at position 0. `explicit_` carries a trailing underscore
// because `explicit` is a keyword.
enum class BoundaryType { explicit_, camelCase, start };

// The word-boundary score of a segment by its type.
double boundaryScore(BoundaryType type);

// One word of a text in character positions [start, end).
struct SegmentRange {
    std::size_t start = 0;
    std::size_t end = 0;
    BoundaryType boundaryType = BoundaryType::start;

    bool operator==(const SegmentRange&) const = default;
};

// The words of `text` in text order, counted in grapheme clusters. Separators belong to no segment.
std::vector<SegmentRange> segmentRanges(std::string_view text);

namespace detail {

inline bool isSegmentSeparator(char unit) {
    return unit == '-' || unit == '_' || unit == '/' || unit == '.';
}
inline bool isSegmentSeparator(std::string_view unit) {
    return unit.size() == 1 && isSegmentSeparator(unit[0]);
}

// Finds the segment that begins at a position of an ASCII text as typed, by looking at the bytes
// around it: the matcher asks only where the query occurs, so it never segments the whole text.
// Agrees with collectSegments below.
class AsciiSegmentLookup {
public:
    explicit AsciiSegmentLookup(std::string_view bytes)
        : bytes_(bytes) {}

    // The segment that begins at `start`, if one does.
    std::optional<SegmentRange> segmentAt(std::size_t start) const;

private:
    bool caseBoundaryAt(std::size_t position) const;

    std::string_view bytes_;
};

// Finds segments in a segmentation computed beforehand. Positions asked for must not decrease from
// one call to the next, which lets one walk through the list serve a whole match.
class SegmentListLookup {
public:
    explicit SegmentListLookup(std::span<const SegmentRange> segments)
        : segments_(segments) {}

    std::optional<SegmentRange> segmentAt(std::size_t start) {
        while (index_ < segments_.size() && segments_[index_].start < start) {
            ++index_;
        }
        if (index_ < segments_.size() && segments_[index_].start == start) {
            return segments_[index_];
        }
        return std::nullopt;
    }

private:
    std::span<const SegmentRange> segments_;
    std::size_t index_ = 0;
};

// Appends the segments of `units` (bytes or clusters, letter case as typed) to `out`.
template <class Units> void collectSegments(const Units& units, std::vector<SegmentRange>& out) {
    const std::size_t length = units.size();
    std::size_t segmentStart = 0;
    const auto close = [&](std::size_t end, BoundaryType closedBy) {
        if (segmentStart < end) {
            out.push_back({segmentStart, end, segmentStart == 0 ? BoundaryType::start : closedBy});
        }
    };
    CharacterCase previous = CharacterCase::uncased;
    CharacterCase current = length > 0 ? unitCase(units[0]) : CharacterCase::uncased;
    for (std::size_t i = 0; i < length; ++i) {
        const CharacterCase next = i + 1 < length ? unitCase(units[i + 1]) : CharacterCase::uncased;
        if (isSegmentSeparator(units[i])) {
            close(i, BoundaryType::explicit_);
            segmentStart = i + 1;
        } else if (i >= 1) {
            const bool lowerToUpper = previous == CharacterCase::lower && current == CharacterCase::upper;
            const bool acronymEnd = i + 1 < length && previous == CharacterCase::upper &&
                                    current == CharacterCase::upper && next == CharacterCase::lower;
            if (lowerToUpper || acronymEnd) {
                close(i, BoundaryType::camelCase);
                segmentStart = i;
            }
        }
        previous = current;
        current = next;
    }
    close(length, BoundaryType::camelCase);
}

} // namespace detail
} // namespace korvane
