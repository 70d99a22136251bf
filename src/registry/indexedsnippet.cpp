#include "registry/indexedsnippet.h"

#include "base/unicode.h"
#include "registry/matchcascade.h"

#include <utility>

namespace korvane {
namespace {

template <class Query, class Text>
std::optional<MatchResult> matchLabel(const Query& query, const Text& label, const IndexedSnippet& indexed) {
    if (indexed.segmentStarts.valid() && label.size() <= SegmentStarts::capacity) {
        return detail::runCascade(query, label, detail::SegmentStartLookup(indexed.segmentStarts, label));
    }
    return detail::runCascade(query, label, detail::SegmentListLookup(indexed.segmentRanges));
}

// Runs the cascade of `query` (bytes or clusters) over whichever form of the label was prepared.
template <class Query>
std::optional<MatchResult> matchPrepared(const Query& query, const IndexedSnippet& indexed) {
    if (indexed.lowercasedChars) {
        return matchLabel(query, *indexed.lowercasedChars, indexed);
    }
    const std::string_view bytes = indexed.lowercasedBytes;
    return matchLabel(query, bytes, indexed);
}

} // namespace

IndexedSnippet::IndexedSnippet(Snippet indexedSnippet)
    : snippet(std::make_shared<const Snippet>(std::move(indexedSnippet))) {
    std::string lowered = lowercased(snippet->label);
    // A "\r\n" pair is one character, so such a label takes the cluster path to keep positions right.
    if (isSingleByteClusters(lowered)) {
        lowercasedBytes = std::move(lowered);
    } else {
        lowercasedChars = GraphemeText(lowered);
    }
    if (!isSingleByteClusters(snippet->label)) {
        labelChars = std::make_shared<const GraphemeText>(snippet->label);
    }
    segmentRanges = korvane::segmentRanges(snippet->label);
    segmentStarts =
        SegmentStarts(segmentRanges, lowercasedChars ? lowercasedChars->size() : lowercasedBytes.size());
}

std::optional<MatchResult> matchIndexed(std::string_view queryBytes,
                                        const std::optional<GraphemeText>& queryChars,
                                        const IndexedSnippet& indexed) {
    if (queryChars) {
        return matchPrepared(*queryChars, indexed);
    }
    return matchPrepared(queryBytes, indexed);
}

std::optional<MatchResult> matchIndexedCaseSensitive(std::string_view queryBytes,
                                                     const std::optional<GraphemeText>& queryChars,
                                                     const IndexedSnippet& indexed) {
    const auto matchQuery = [&](const auto& label) {
        return queryChars ? matchLabel(*queryChars, label, indexed) : matchLabel(queryBytes, label, indexed);
    };
    if (indexed.labelChars) {
        return matchQuery(*indexed.labelChars);
    }
    return matchQuery(std::string_view(indexed.snippet->label));
}

std::optional<MatchResult> matchText(const GraphemeText& queryChars, const IndexedSnippet& indexed,
                                     std::size_t /*queryLength*/, std::size_t /*textLength*/) {
    return matchPrepared(queryChars, indexed);
}

} // namespace korvane
