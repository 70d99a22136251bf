#pragma once

#include "base/graphemetext.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Spells a query and the texts matched against it with one byte per grapheme cluster, so that the
// matcher's byte path can match texts whose clusters are single code points, as nearly every
// accented path is: ASCII stays itself, each other character of the query gets a byte of its own,
// and every character the query lacks shares one more byte. The matcher only ever compares query
// characters with text characters, so matching the spellings gives the positions, ranges and scores
// that matching the clusters gives. Prepared once per query; one per thread.
class QueryAlphabet {
public:
    // Spells `query`, which is folded as the matcher compares it. Returns false, leaving no usable
    // alphabet, when a cluster of the query has several code points or the query has more distinct
    // non-ASCII characters than there are bytes to spell them.
    bool assign(const GraphemeText& query);
    // The same for a query whose bytes are each a cluster.
    void assign(std::string_view singleByteQuery);

    std::string_view queryBytes() const { return queryBytes_; }

    // Spells `text`, lower-cased first unless `caseSensitive`, into `buffer`; nothing when a character
    // of the folded text does not form a cluster of its own, a CR among them, or the text is malformed.
    std::optional<std::string_view> spell(std::string_view text, bool caseSensitive,
                                          std::string& buffer) const;

private:
    // The byte that spells a code point of the text that is not ASCII.
    char byteFor(char32_t codePoint) const;
    template <bool lowerCase>
    std::optional<std::string_view> spellCodePoints(std::string_view text, std::string& buffer) const;

    std::string queryBytes_;
    // The query's non-ASCII characters; the one at index i is spelt 0x80 + i.
    std::vector<char32_t> characters_;
    // A bit per low six bits of those characters, which turns most other characters away at once.
    std::uint64_t characterBits_ = 0;
};

} // namespace korvane
