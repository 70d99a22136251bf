#include "registry/indexedsnippet.h"

#include "base/unicode.h"
#include "registry/matchcascade.h"
#include "registry/typomatch.h"

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

// The groups of every byte of `bytes`, as the typo test groups characters, ASCII letters folded to
// lower case. A character whose bytes fall into a group that a text lacks is not in that text.
std::uint64_t byteGroups(std::string_view bytes) {
    std::uint64_t groups = 0;
    for (const char c : bytes) {
        groups |= std::uint64_t{1} << (asciiLower(c) & 63);
    }
    return groups;
}

// Whether a query of `queryLength` characters whose bytes fall into `queryGroups` may match the label
// of `indexed`. Every test but the typo test needs each character of the query in the label; the typo
// test needs a stem about as long as the query and, when every missing group stands for a character
// of its own (`groupsAreCharacters`), no more missing groups than it allows edits.
bool mayMatch(std::uint64_t queryGroups, std::size_t queryLength, bool groupsAreCharacters,
              const IndexedSnippet& indexed) {
    const std::uint64_t missing = queryGroups & ~indexed.characterGroups;
    if (missing == 0) {
        return true;
    }
    const std::size_t edits = detail::typoEditLimit(queryLength);
    const std::size_t stem = indexed.lastStemLength;
    return queryLength >= detail::minimumTypoQueryLength && stem + edits >= queryLength &&
           stem <= queryLength + edits &&
           (!groupsAreCharacters || static_cast<std::size_t>(std::popcount(missing)) <= edits);
}

bool mayMatch(std::string_view queryBytes, const IndexedSnippet& indexed) {
    return mayMatch(byteGroups(queryBytes), queryBytes.size(), true, indexed);
}

// A character of several bytes can leave several groups missing, so their count bounds nothing.
bool mayMatch(const GraphemeText& queryChars, const IndexedSnippet& indexed) {
    return mayMatch(byteGroups(queryChars.bytes()), queryChars.size(), false, indexed);
}

} // namespace

IndexedSnippet::IndexedSnippet(Snippet indexedSnippet)
    : IndexedSnippet(std::make_shared<const Snippet>(std::move(indexedSnippet))) {}

IndexedSnippet::IndexedSnippet(std::shared_ptr<const Snippet> indexedSnippet)
    : snippet(std::move(indexedSnippet)) {
    std::string lowered = lowercased(snippet->label);
    // A "\r\n" pair is one character, so such a label takes the cluster path to keep positions right.
    if (isSingleByteClusters(lowered)) {
        lowercasedBytes = std::move(lowered);
    } else {
        lowercasedChars = GraphemeText(lowered);
        lowercasedBytes = bytePerCluster(*lowercasedChars);
    }
    if (isSingleByteClusters(snippet->label)) {
        caseBits = AsciiCaseBits::between(snippet->label, lowercasedBytes);
    } else {
        GraphemeText chars(snippet->label);
        std::string bytes = bytePerCluster(chars);
        caseBits = AsciiCaseBits::between(bytes, lowercasedBytes);
        labelAsTyped = std::make_shared<const TypedLabel>(TypedLabel{std::move(chars), std::move(bytes)});
    }
    const std::string_view bytes = lowercasedBytes;
    characterGroups = byteGroups(lowercasedChars ? lowercasedChars->bytes() : bytes);
    const std::size_t componentStart = detail::lastComponentStart(bytes);
    lastStemLength = static_cast<std::uint32_t>(detail::stemLength(bytes.substr(componentStart)));
    segmentRanges = korvane::segmentRanges(snippet->label);
    segmentBounds =
        SegmentBounds(segmentRanges, lowercasedChars ? lowercasedChars->size() : lowercasedBytes.size());
}

std::optional<MatchResult> matchIndexed(std::string_view queryBytes,
                                        const std::optional<GraphemeText>& queryChars,
                                        const IndexedSnippet& indexed) {
    if (!queryChars) {
        if (!mayMatch(queryBytes, indexed)) {
            return std::nullopt;
        }
        return matchLabel(queryBytes, std::string_view(indexed.lowercasedBytes), indexed);
    }
    if (!mayMatch(*queryChars, indexed)) {
        return std::nullopt;
    }
    if (indexed.lowercasedChars) {
        return matchLabel(*queryChars, *indexed.lowercasedChars, indexed);
    }
    return matchLabel(*queryChars, std::string_view(indexed.lowercasedBytes), indexed);
}

std::optional<MatchResult> matchIndexedCaseSensitive(std::string_view queryBytes,
                                                     const std::optional<GraphemeText>& queryChars,
                                                     const IndexedSnippet& indexed) {
    const TypedLabel* typed = indexed.labelAsTyped.get();
    // The bits fit the bytes they were made from, which never exceed their capacity.
    if (!queryChars && indexed.caseBits && indexed.lowercasedBytes.size() <= AsciiCaseBits::capacity) {
        // The label as typed is its lower-cased bytes but for letter case, which the groups ignore.
        if (!mayMatch(queryBytes, indexed)) {
            return std::nullopt;
        }
        AsciiCaseBits::Buffer buffer;
        return matchLabel(queryBytes, indexed.caseBits->restore(indexed.lowercasedBytes, buffer), indexed);
    }
    if (!queryChars) {
        return matchLabel(queryBytes, std::string_view(typed ? typed->bytes : indexed.snippet->label),
                          indexed);
    }
    if (typed) {
        return matchLabel(*queryChars, typed->chars, indexed);
    }
    return matchLabel(*queryChars, std::string_view(indexed.snippet->label), indexed);
}

} // namespace korvane
