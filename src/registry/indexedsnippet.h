#pragma once

#include "base/graphemetext.h"
#include "model/snippet.h"
#include "registry/asciicasebits.h"
#include "registry/labelbytes.h"
#include "registry/matchresult.h"
#include "registry/segmentation.h"
#include "registry/segmentbounds.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// A label that is not plain ASCII as typed, in the two forms a search that respects case matches.
struct TypedLabel {
    GraphemeText chars;
    // One byte per character, spelt as `IndexedSnippet::lowercasedBytes` is.
    std::string bytes;
};

// A snippet with its label prepared once for matching: lower-cased as one byte per character, and as
// grapheme clusters when that is not plain ASCII, plus the word segmentation of the label as typed. Built by
// the registry on the main thread; immutable afterwards and safe to match from any thread.
struct IndexedSnippet {
    // Stands for every character of a label that is not a single ASCII byte.
    static constexpr char otherCharacterByte = '\x80';

    IndexedSnippet() = default;
    explicit IndexedSnippet(Snippet snippet);
    // `snippet` must not be null.
    explicit IndexedSnippet(std::shared_ptr<const Snippet> snippet);

    // The members a plain ASCII query reads come first and the snippet itself lives apart, so that a
    // pass over many records touches as few cache lines as it can.

    // The groups of the bytes of the lower-cased label, as the typo test groups characters: a query
    // character with a byte whose group is missing cannot be in the label.
    std::uint64_t characterGroups = 0;
    // The length of the stem of the label's last component, which the typo test compares with.
    std::uint32_t lastStemLength = 0;
    // Where the segments of the label begin and end, kept in the record for labels short enough;
    // matching reads this instead of `segmentRanges` when it is valid.
    SegmentBounds segmentBounds;
    // The lower-cased label, one byte per character: a character that is one ASCII byte as itself,
    // any other as `otherCharacterByte`. No byte of a plain ASCII query equals that byte, so such a
    // query finds in these bytes exactly what it finds in the clusters, at the same positions.
    LabelBytes lowercasedBytes;
    // What turns `lowercasedBytes` back into the label as typed, spelt the same way, for searches
    // that respect case; absent when more than the case of ASCII letters tells the two apart.
    std::optional<AsciiCaseBits> caseBits;
    std::vector<SegmentRange> segmentRanges;
    // The clusters of the lower-cased label when it is not plain ASCII; absent otherwise.
    std::optional<GraphemeText> lowercasedChars;
    // Never null for a record built from a snippet; shared with the search results that show it.
    std::shared_ptr<const Snippet> snippet;
    // The label as typed when it is not plain ASCII, for searches that respect case; null otherwise.
    // Apart from the record, which case-insensitive searches read.
    std::shared_ptr<const TypedLabel> labelAsTyped;
};

// Asks for what matching `indexed` case-insensitively against a query that is not plain ASCII reads
// beyond the record: its lower-cased clusters, which live on the heap. A pass over many records
// calls it for a record some way ahead of the one it matches, so that the clusters are at hand by then.
inline void prefetchClusters(const IndexedSnippet& indexed) {
    if (indexed.lowercasedChars) {
        __builtin_prefetch(indexed.lowercasedChars->bytes().data());
    }
}

// A query prepared once for matching it against many prepared labels: as `bytes` when every byte of
// it is one character, else as `chars`, with the groups of its bytes, which turn away at once a label
// that lacks one of its characters. It refers to the texts it was made from.
struct LabelQuery {
    // Pass the query as `bytes` with no `chars` when every byte of it is one character, else as
    // `chars` with empty bytes.
    LabelQuery(std::string_view bytes, const std::optional<GraphemeText>& chars);

    std::string_view bytes;
    const GraphemeText* chars = nullptr;
    std::uint64_t groups = 0;
};

// Matches a lower-cased query against a prepared label, case-insensitively. A pure ASCII query runs on
// the label's bytes and allocates nothing unless it succeeds.
std::optional<MatchResult> matchIndexed(const LabelQuery& query, const IndexedSnippet& indexed);

// Matches a query as typed against the label as typed, respecting case: the result of
// fuzzyMatch(query, label, true), through the prepared label.
std::optional<MatchResult> matchIndexedCaseSensitive(const LabelQuery& query, const IndexedSnippet& indexed);

// The same for a single label; a pass over many prepares its LabelQuery once.
inline std::optional<MatchResult> matchIndexed(std::string_view queryBytes,
                                               const std::optional<GraphemeText>& queryChars,
                                               const IndexedSnippet& indexed) {
    return matchIndexed(LabelQuery(queryBytes, queryChars), indexed);
}
inline std::optional<MatchResult> matchIndexedCaseSensitive(std::string_view queryBytes,
                                                            const std::optional<GraphemeText>& queryChars,
                                                            const IndexedSnippet& indexed) {
    return matchIndexedCaseSensitive(LabelQuery(queryBytes, queryChars), indexed);
}

} // namespace korvane
