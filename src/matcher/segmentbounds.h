#pragma once

#include "matcher/segmentation.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace korvane {

// Where the segments of a label begin and end, one bit per character each, for labels of up to
// `capacity` characters. It is a copy of the label's segmentation small enough to live in the
// prepared record, so that matching a label never reads its segment list, which lives apart on the
// heap. Plain value.
class SegmentBounds {
public:
    static constexpr std::size_t capacity = 128;

    SegmentBounds() = default;
    // Holds nothing when the text, `textLength` characters as matched, or a segment reaches past
    // `capacity` characters.
    SegmentBounds(std::span<const SegmentRange> segments, std::size_t textLength) {
        if (textLength > capacity || (!segments.empty() && segments.back().end > capacity)) {
            return;
        }
        valid_ = true;
        for (const SegmentRange& segment : segments) {
            set(starts_, segment.start);
            set(lastCharacters_, segment.end - 1);
        }
    }

    bool valid() const { return valid_; }

    // The first position at or after `from` where a segment starts, or `capacity` when none does.
    std::size_t nextStartFrom(std::size_t from) const { return nextFrom(starts_, from); }

    bool startsAt(std::size_t position) const {
        return position < capacity && (starts_[position / 64] >> (position % 64) & 1) != 0;
    }

    // Where the segment that starts at `start` ends.
    std::size_t endOf(std::size_t start) const { return nextFrom(lastCharacters_, start) + 1; }

private:
    using Bits = std::array<std::uint64_t, capacity / 64>;

    static void set(Bits& bits, std::size_t position) {
        bits[position / 64] |= std::uint64_t{1} << (position % 64);
    }

    static std::size_t nextFrom(const Bits& bits, std::size_t from) {
        for (std::size_t word = from / 64; word < bits.size(); ++word) {
            std::uint64_t rest = bits[word];
            if (word == from / 64) {
                rest &= ~std::uint64_t{0} << (from % 64);
            }
            if (rest != 0) {
                return word * 64 + static_cast<std::size_t>(__builtin_ctzll(rest));
            }
        }
        return capacity;
    }

    Bits starts_{};
    // The last character of each segment. Segments never overlap, so the first of these at or after
    // a segment's start is its own.
    Bits lastCharacters_{};
    bool valid_ = false;
};

namespace detail {

// Finds the segment that begins at a position from the bounds and the text's units (letter case
// need not be kept): a segment that a separator follows was closed as `explicit`, any other as
// `camelCase`.
template <class Text> class SegmentBoundsLookup {
public:
    SegmentBoundsLookup(const SegmentBounds& bounds, const Text& text)
        : bounds_(bounds)
        , text_(text) {}

    // The first position at or after `from` where a segment starts; past the text when none does.
    std::size_t nextStart(std::size_t from) const { return bounds_.nextStartFrom(from); }

    std::optional<SegmentRange> segmentAt(std::size_t start) const {
        if (!bounds_.startsAt(start)) {
            return std::nullopt;
        }
        const std::size_t end = bounds_.endOf(start);
        const BoundaryType closedBy = end < text_.size() && isSegmentSeparator(text_[end])
                                          ? BoundaryType::explicit_
                                          : BoundaryType::camelCase;
        return SegmentRange{start, end, start == 0 ? BoundaryType::start : closedBy};
    }

private:
    const SegmentBounds& bounds_;
    const Text& text_;
};

} // namespace detail
} // namespace korvane
