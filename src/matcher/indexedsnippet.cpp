#include "matcher/indexedsnippet.h"

#include "base/unicode.h"
#include "matcher/matchcascade.h"
#include "matcher/matchtuning.h"
#include "matcher/typomatch.h"

#include <bit>
#include <utility>

namespace korvane {
namespace {

template <class Query, class Text>
std::optional<MatchResult> matchLabel(const Query& query, const Text& label, const IndexedSnippet& indexed) {
    if (indexed.segmentBounds.valid() && label.size() <= SegmentBounds::capacity) {
        return detail::runCascade(query, label, detail::SegmentBoundsLookup(indexed.segmentBounds, label));
    }
    return detail::runCascade(query, label, detail::SegmentListLookup(indexed.segmentRanges));
}

// One byte per cluster of `clusters`: a cluster of one ASCII byte as that byte, any other as
// `otherCharacterByte`.
std::string bytePerCluster(const GraphemeText& clusters) {
    std::string bytes(clusters.size(), IndexedSnippet::otherCharacterByte);
    for (std::size_t i = 0; i < clusters.size(); ++i) {
        const std::string_view cluster = clusters[i];
        if (cluster.size() == 1 && isAscii(cluster)) {
            bytes[i] = cluster.front();
        }
    }
    return bytes;
}

// Whether `query` may match the label of `indexed`, letter case aside. Every test but the typo test
// needs each character of the query in the label; the typo test needs a stem about as long as the
// query and no more missing characters than it allows edits. Each missing group of a query of bytes
// is a character of its own; a character of several bytes can leave several groups missing.
bool mayMatch(const PreparedQuery& query, const IndexedSnippet& indexed) {
    const std::uint64_t missing = query.groups() & ~indexed.characterGroups;
    if (missing == 0) {
        return true;
    }
    const std::size_t length = query.length();
    const std::size_t edits = tuning::typoEditLimit(length);
    const std::size_t stem = indexed.lastStemLength;
    return length >= tuning::minimumTypoQueryLength && stem + edits >= length && stem <= length + edits &&
           (!query.isBytes() || static_cast<std::size_t>(std::popcount(missing)) <= edits);
}

} // namespace

IndexedSnippet::IndexedSnippet(std::string_view label) {
    std::string lowered = lowercased(label);
    // A "\r\n" pair is one character, so such a label takes the cluster path to keep positions right.
    if (isSingleByteClusters(lowered)) {
        lowercasedBytes = std::move(lowered);
    } else {
        lowercasedChars = GraphemeText(lowered);
        lowercasedBytes = bytePerCluster(*lowercasedChars);
    }
    if (isSingleByteClusters(label)) {
        caseBits = AsciiCaseBits::between(label, lowercasedBytes);
        if (!caseBits) {
            labelAsTyped = std::make_shared<const TypedLabel>(TypedLabel{std::nullopt, std::string(label)});
        }
    } else {
        GraphemeText chars(label);
        std::string bytes = bytePerCluster(chars);
        caseBits = AsciiCaseBits::between(bytes, lowercasedBytes);
        labelAsTyped = std::make_shared<const TypedLabel>(TypedLabel{std::move(chars), std::move(bytes)});
    }
    const std::string_view bytes = lowercasedBytes;
    characterGroups = byteGroups(lowercasedChars ? lowercasedChars->bytes() : bytes);
    const std::size_t componentStart = detail::lastComponentStart(bytes);
    lastStemLength = static_cast<std::uint32_t>(detail::stemLength(bytes.substr(componentStart)));
    segmentRanges = korvane::segmentRanges(label);
    segmentBounds =
        SegmentBounds(segmentRanges, lowercasedChars ? lowercasedChars->size() : lowercasedBytes.size());
}

std::optional<MatchResult> matchIndexed(const PreparedQuery& query, const IndexedSnippet& indexed) {
    if (query.caseSensitive()) {
        return matchIndexedCaseSensitive(query, indexed);
    }
    if (!mayMatch(query, indexed)) {
        return std::nullopt;
    }
    if (query.isBytes()) {
        return matchLabel(query.bytes(), std::string_view(indexed.lowercasedBytes), indexed);
    }
    if (indexed.lowercasedChars) {
        return matchLabel(query.chars(), *indexed.lowercasedChars, indexed);
    }
    return matchLabel(query.chars(), std::string_view(indexed.lowercasedBytes), indexed);
}

std::optional<MatchResult> matchIndexedCaseSensitive(const PreparedQuery& query,
                                                     const IndexedSnippet& indexed) {
    const TypedLabel* typed = indexed.labelAsTyped.get();
    // The bits fit the bytes they were made from, which never exceed their capacity.
    if (query.isBytes() && indexed.caseBits && indexed.lowercasedBytes.size() <= AsciiCaseBits::capacity) {
        // The label as typed is its lower-cased bytes but for letter case, which the groups ignore.
        if (!mayMatch(query, indexed)) {
            return std::nullopt;
        }
        AsciiCaseBits::Buffer buffer;
        return matchLabel(query.bytes(), indexed.caseBits->restore(indexed.lowercasedBytes, buffer), indexed);
    }
    if (!query.isBytes() && typed && typed->chars) {
        return matchLabel(query.chars(), *typed->chars, indexed);
    }
    // Past the clusters, the label as typed is plain ASCII or spelt one byte per character: kept
    // beside the record, or else restored from the case bits, which every other label has.
    AsciiCaseBits::Buffer buffer;
    const std::string_view typedBytes =
        typed ? std::string_view(typed->bytes) : indexed.caseBits->restore(indexed.lowercasedBytes, buffer);
    if (query.isBytes()) {
        return matchLabel(query.bytes(), typedBytes, indexed);
    }
    return matchLabel(query.chars(), typedBytes, indexed);
}

} // namespace korvane
