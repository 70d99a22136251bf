#pragma once

#include "registry/segmentation.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace korvane {

// Where the segments of a label begin, one bit per character, for labels of up to `capacity`
// characters. It is a copy of the label's segmentation small enough to live in the prepared record,
// so that matching a label never reads its segment list, which lives apart on the heap. Plain value.
class SegmentStarts {
public:
    static constexpr std::size_t capacity = 128;

    SegmentStarts() = default;
    // Holds nothing when the text, `textLength` characters as matched, or a segment reaches past
    // `capacity` characters.
    SegmentStarts(std::span<const SegmentRange> segments, std::size_t textLength) {
        if (textLength > capacity || (!segments.empty() && segments.back().end > capacity)) {
            return;
        }
        valid_ = true;
        for (const SegmentRange& segment : segments) {
            words_[segment.start / 64] |= std::uint64_t{1} << (segment.start % 64);
        }
    }

    bool valid() const { return valid_; }
    // The first position at or after `from` where a segment starts, or `capacity` when none does.
    std::size_t nextStartFrom(std::size_t from) const {
        for (std::size_t word = from / 64; word < words_.size(); ++word) {
            std::uint64_t bits = words_[word];
            if (word == from / 64) {
                bits &= ~std::uint64_t{0} << (from % 64);
            }
            if (bits != 0) {
                return word * 64 + static_cast<std::size_t>(__builtin_ctzll(bits));
            }
        }
        return capacity;
    }

    bool startsAt(std::size_t position) const {
        return position < capacity && (words_[position / 64] >> (position % 64) & 1) != 0;
    }

private:
    std::array<std::uint64_t, capacity / 64> words_{};
    bool valid_ = false;
};

namespace detail {

// Finds the segment that begins at a position from the start bits and the text's units (letter case
// need not be kept): a segment runs to the next separator, which closes it as `explicit`, or to the
// next start, a case boundary, or the end of the text, which close it as `camelCase`.
template <class Text> class SegmentStartLookup {
public:
    SegmentStartLookup(const SegmentStarts& starts, const Text& text)
        : starts_(starts)
        , text_(text) {}

    // The first position at or after `from` where a segment starts; past the text when none does.
    std::size_t nextStart(std::size_t from) const { return starts_.nextStartFrom(from); }

    std::optional<SegmentRange> segmentAt(std::size_t start) const {
        if (!starts_.startsAt(start)) {
            return std::nullopt;
        }
        const std::size_t length = text_.size();
        for (std::size_t end = start + 1; end < length; ++end) {
            if (isSegmentSeparator(text_[end])) {
                return SegmentRange{start, end, start == 0 ? BoundaryType::start : BoundaryType::explicit_};
            }
            if (starts_.startsAt(end)) {
                return SegmentRange{start, end, start == 0 ? BoundaryType::start : BoundaryType::camelCase};
            }
        }
        return SegmentRange{start, length, start == 0 ? BoundaryType::start : BoundaryType::camelCase};
    }

private:
    const SegmentStarts& starts_;
    const Text& text_;
};

} // namespace detail
} // namespace korvane
