#pragma once

#include "base/graphemetext.h"
#include "matcher/asciicasebits.h"
#include "matcher/labelbytes.h"
#include "matcher/matchresult.h"
#include "matcher/preparedquery.h"
#include "matcher/segmentation.h"
#include "matcher/segmentbounds.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// A label as typed that its case bits cannot restore, in the forms a search that respects case matches:
// it is not plain ASCII, or too long for the bits.
struct TypedLabel {
    // The clusters of the label when it is not plain ASCII; absent otherwise.
    std::optional<GraphemeText> chars;
    // One byte per character, spelt as `IndexedSnippet::lowercasedBytes` is: the label itself when it
    // is plain ASCII.
    std::string bytes;
};

// A label prepared once for matching: lower-cased as one byte per character, and as grapheme clusters
// when that is not plain ASCII, plus the word segmentation of the label as typed. Built once on any
// thread (the registry builds its own on the main thread); immutable afterwards and safe to match from
// any thread.
struct IndexedSnippet {
    // Stands for every character of a label that is not a single ASCII byte.
    static constexpr char otherCharacterByte = '\x80';

    IndexedSnippet() = default;
    explicit IndexedSnippet(std::string_view label);

    // The members a plain ASCII query reads come first and the label as typed lives apart, so that a
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
    // The label as typed, for searches that respect case, when `caseBits` cannot restore it or it is
    // not plain ASCII; null otherwise. Apart from the record, which case-insensitive searches read.
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

// Matches a prepared query against a prepared label: case-insensitively, the lower-cased query against
// the lower-cased label, or, for a query prepared to respect case, as matchIndexedCaseSensitive. A
// plain ASCII query runs on the label's bytes and allocates nothing unless it succeeds.
std::optional<MatchResult> matchIndexed(const PreparedQuery& query, const IndexedSnippet& indexed);

// Matches a query prepared as typed against the label as typed, respecting case: the result of
// fuzzyMatch(query, label, true), through the prepared label.
std::optional<MatchResult> matchIndexedCaseSensitive(const PreparedQuery& query,
                                                     const IndexedSnippet& indexed);

} // namespace korvane
