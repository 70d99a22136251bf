#include "registry/fuzzymatch.h"

#include "base/graphemetext.h"
#include "base/unicode.h"
#include "registry/matchcascade.h"
#include "registry/segmentation.h"

#include <string>
#include <vector>

namespace korvane {
namespace {

// Per-thread buffers for the ASCII path: after the first calls on a thread they have grown to fit
// and matching a path segment allocates nothing.
struct AsciiScratch {
    std::string query;
    std::string text;
    std::vector<SegmentRange> segments;
};

AsciiScratch& asciiScratch() {
    thread_local AsciiScratch scratch;
    return scratch;
}

std::string_view foldInto(std::string& buffer, std::string_view text, bool caseSensitive) {
    if (caseSensitive) {
        return text;
    }
    buffer.resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        buffer[i] = asciiLower(text[i]);
    }
    return buffer;
}

std::optional<MatchResult> fuzzyMatchAscii(std::string_view query, std::string_view text, bool caseSensitive) {
    AsciiScratch& scratch = asciiScratch();
    scratch.segments.clear();
    detail::collectSegments(text, scratch.segments);
    return detail::runCascade(foldInto(scratch.query, query, caseSensitive),
                              foldInto(scratch.text, text, caseSensitive), scratch.segments);
}

} // namespace

std::optional<MatchResult> fuzzyMatch(std::string_view query, std::string_view text, bool caseSensitive) {
    if (isSingleByteClusters(query) && isSingleByteClusters(text)) {
        return fuzzyMatchAscii(query, text, caseSensitive);
    }
    std::vector<SegmentRange> segments;
    detail::visitUnits(text, [&](const auto& units) { detail::collectSegments(units, segments); });
    const std::string foldedQuery = caseSensitive ? std::string(query) : lowercased(query);
    const GraphemeText foldedText(caseSensitive ? text : std::string_view(lowercased(text)));
    return detail::visitUnits(foldedQuery, [&](const auto& queryUnits) {
        return detail::runCascade(queryUnits, foldedText, segments);
    });
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
