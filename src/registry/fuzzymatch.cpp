#include "registry/fuzzymatch.h"

#include "base/graphemetext.h"
#include "base/unicode.h"
#include "registry/matchcascade.h"
#include "registry/segmentation.h"

#include <string>
#include <vector>

namespace korvane {
namespace {

// Per-thread buffers: after the first calls on a thread they have grown to fit, and matching one
// more path segment allocates nothing unless it matches.
struct Scratch {
    std::string query;
    std::string text;
    std::string foldedText;
    GraphemeText queryChars;
    GraphemeText textChars;
    GraphemeText originalChars;
    std::vector<SegmentRange> segments;
};

Scratch& scratch() {
    thread_local Scratch buffers;
    return buffers;
}

// Copies `text` into `buffer`, lower-cased unless `caseSensitive`, when every byte of it is one
// character; returns false (leaving `buffer` unspecified) otherwise. Written without early exits so
// that the compiler can vectorise it: this runs for every candidate of a ranking pass.
bool foldSingleByteClusters(std::string_view text, bool caseSensitive, std::string& buffer) {
    const std::size_t length = text.size();
    buffer.resize(length);
    const auto* source = reinterpret_cast<const unsigned char*>(text.data());
    auto* target = reinterpret_cast<unsigned char*>(buffer.data());
    unsigned char highBits = 0;
    if (caseSensitive) {
        for (std::size_t i = 0; i < length; ++i) {
            highBits |= source[i];
            target[i] = source[i];
        }
    } else {
        for (std::size_t i = 0; i < length; ++i) {
            const unsigned char c = source[i];
            highBits |= c;
            target[i] = static_cast<unsigned char>(c + ((static_cast<unsigned char>(c - 'A') < 26) ? 32 : 0));
        }
    }
    return (highBits & 0x80) == 0 && text.find("\r\n") == std::string_view::npos;
}

// Segments the text as typed on first use only: most candidates are decided without them.
// `segment(out)` appends the segments to `out`.
template <class Segment> struct LazySegments {
    Segment segment;
    std::vector<SegmentRange>& segments;
    bool ready = false;

    std::span<const SegmentRange> operator()() {
        if (!ready) {
            segments.clear();
            segment(segments);
            ready = true;
        }
        return segments;
    }
};

template <class Segment>
LazySegments<Segment> lazySegments(Segment segment, std::vector<SegmentRange>& segments) {
    return LazySegments<Segment>{std::move(segment), segments};
}

std::optional<MatchResult> fuzzyMatchUnicode(std::string_view query, std::string_view text,
                                             bool caseSensitive, Scratch& buffers) {
    if (caseSensitive) {
        buffers.textChars.assign(text);
    } else {
        lowercaseInto(text, buffers.foldedText);
        buffers.textChars.assign(buffers.foldedText);
    }
    const auto segmentOriginal = [&](std::vector<SegmentRange>& out) {
        if (caseSensitive) {
            detail::collectSegments(buffers.textChars, out);
        } else {
            buffers.originalChars.assign(text);
            detail::collectSegments(buffers.originalChars, out);
        }
    };
    const auto run = [&](const auto& queryUnits) {
        return detail::runCascade(queryUnits, buffers.textChars,
                                  lazySegments(segmentOriginal, buffers.segments));
    };
    if (foldSingleByteClusters(query, caseSensitive, buffers.query)) {
        return run(std::string_view(buffers.query));
    }
    if (caseSensitive) {
        buffers.queryChars.assign(query);
    } else {
        lowercaseInto(query, buffers.query);
        buffers.queryChars.assign(buffers.query);
    }
    return run(buffers.queryChars);
}

} // namespace

std::optional<MatchResult> fuzzyMatch(std::string_view query, std::string_view text, bool caseSensitive) {
    Scratch& buffers = scratch();
    if (foldSingleByteClusters(text, caseSensitive, buffers.text) &&
        foldSingleByteClusters(query, caseSensitive, buffers.query)) {
        const auto segmentOriginal = [text](std::vector<SegmentRange>& out) {
            detail::collectSegments(text, out);
        };
        return detail::runCascade(std::string_view(buffers.query), std::string_view(buffers.text),
                                  lazySegments(segmentOriginal, buffers.segments));
    }
    return fuzzyMatchUnicode(query, text, caseSensitive, buffers);
}

bool isPlausibleFuzzyMatch(const TextRanges& ranges, std::size_t queryLength, std::size_t textLength) {
    if (ranges.empty() || textLength == 0) {
        return false;
    }
    const detail::FuzzyLimits limits = detail::fuzzyLimits(queryLength);
    if (detail::spanRatio(ranges.front().start, ranges.back().start, textLength) > limits.maxRatio) {
        return false;
    }
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].start > ranges[i - 1].end && ranges[i].start - ranges[i - 1].end > limits.maxGap) {
            return false;
        }
    }
    return true;
}

} // namespace korvane
