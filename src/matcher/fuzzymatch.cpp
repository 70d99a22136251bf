#include "matcher/fuzzymatch.h"

#include "base/graphemetext.h"
#include "base/unicode.h"
#include "matcher/bytesearch.h"
#include "matcher/caseoutline.h"
#include "matcher/matchcascade.h"
#include "matcher/matchtuning.h"
#include "matcher/preparedquery.h"
#include "matcher/queryalphabet.h"
#include "matcher/segmentation.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace korvane {
namespace {

// Per-thread buffers: after the first calls on a thread they have grown to fit, and matching one
// more path segment allocates nothing unless it matches.
struct Scratch {
    // The last query seen, prepared: a ranking pass matches one query against many texts, so it is
    // prepared once per pass rather than once per text.
    PreparedQuery query;

    std::string text;
    std::string spelling;
    GraphemeText textChars;
    GraphemeText originalChars;
    std::string caseOutline;
    std::vector<SegmentRange> segments;
};

Scratch& scratch() {
    thread_local Scratch buffers;
    return buffers;
}

// The text in `buffer`, lower-cased unless `caseSensitive`, when every byte of it is one character;
// nothing otherwise. This runs for every candidate of a ranking pass, and the buffer only ever grows.
std::optional<std::string_view> foldSingleByteClusters(std::string_view text, bool caseSensitive,
                                                       std::string& buffer) {
    if (buffer.size() < text.size()) {
        buffer.resize(std::max(text.size(), 2 * buffer.size()));
    }
    if (!detail::copySingleByteClusters(text, !caseSensitive, buffer.data())) {
        return std::nullopt;
    }
    return std::string_view(buffer.data(), text.size());
}

// Finds the segments of a clustered text as typed, looked at on first use only: most candidates are
// decided without them. The common text has one code point per cluster; its case outline then finds
// a segment from the bytes around it, like ASCII. Other texts are segmented whole.
class LazySegmentLookup {
public:
    LazySegmentLookup(std::string_view text, Scratch& buffers)
        : text_(text)
        , buffers_(buffers) {}

    std::optional<SegmentRange> segmentAt(std::size_t start) {
        if (!outline_ && !list_) {
            prepare();
        }
        return outline_ ? outline_->segmentAt(start) : list_->segmentAt(start);
    }

private:
    void prepare() {
        if (detail::outlineCases(text_, buffers_.caseOutline)) {
            outline_.emplace(buffers_.caseOutline);
            return;
        }
        buffers_.originalChars.assign(text_);
        buffers_.segments.clear();
        detail::collectSegments(buffers_.originalChars, buffers_.segments);
        list_.emplace(buffers_.segments);
    }

    std::string_view text_;
    Scratch& buffers_;
    std::optional<detail::AsciiSegmentLookup> outline_;
    std::optional<detail::SegmentListLookup> list_;
};

std::optional<MatchResult> fuzzyMatchUnicode(std::string_view text, Scratch& buffers) {
    PreparedQuery& query = buffers.query;
    const bool caseSensitive = query.caseSensitive();
    // Nearly every text spells as one byte per cluster and takes the byte path.
    if (const QueryAlphabet* alphabet = query.alphabet()) {
        if (const auto spelt = alphabet->spell(text, caseSensitive, buffers.spelling)) {
            return detail::runCascade(alphabet->queryBytes(), *spelt, LazySegmentLookup(text, buffers));
        }
    }
    if (caseSensitive) {
        buffers.textChars.assign(text);
    } else {
        buffers.textChars.assignLowercased(text);
    }
    const auto run = [&](const auto& queryUnits) {
        return detail::runCascade(queryUnits, buffers.textChars, LazySegmentLookup(text, buffers));
    };
    if (query.isBytes()) {
        return run(query.bytes());
    }
    return run(query.chars());
}

} // namespace

std::optional<MatchResult> fuzzyMatch(std::string_view query, std::string_view text, bool caseSensitive) {
    Scratch& buffers = scratch();
    if (!buffers.query.holds(query, caseSensitive)) {
        buffers.query.assign(query, caseSensitive);
    }
    if (buffers.query.isBytes()) {
        if (const auto foldedText = foldSingleByteClusters(text, caseSensitive, buffers.text)) {
            // Segmented from the text as typed, not the folded copy: case changes mark word starts.
            return detail::runCascade(buffers.query.bytes(), *foldedText, detail::AsciiSegmentLookup(text));
        }
    }
    return fuzzyMatchUnicode(text, buffers);
}

bool isPlausibleFuzzyMatch(const TextRanges& ranges, std::size_t queryLength, std::size_t textLength) {
    if (ranges.empty() || textLength == 0) {
        return false;
    }
    const tuning::FuzzyLimits limits = tuning::fuzzyLimits(queryLength);
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
