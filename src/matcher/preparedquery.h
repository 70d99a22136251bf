#pragma once

#include "base/graphemetext.h"
#include "matcher/queryalphabet.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

// A query prepared once for matching it against many texts or prepared labels: folded to lower case
// unless the search respects case, held as bytes when every character of it is one byte and as
// grapheme clusters otherwise, with the groups of its bytes, which turn away at once a label that
// lacks one of its characters. What texts that are not plain ASCII need of it is prepared on first
// use. A plain value owned by one thread at a time: a registry pass, or fuzzyMatch's per-thread buffers.
class PreparedQuery {
public:
    // The empty query, ignoring case.
    PreparedQuery() = default;
    PreparedQuery(std::string_view query, bool caseSensitive) { assign(query, caseSensitive); }

    // Prepares `query` anew, reusing what this already holds.
    void assign(std::string_view query, bool caseSensitive);

    // `folded`, already in the form the search compares, held as clusters even when every character of
    // it is one byte: the general path, which the byte path must agree with.
    static PreparedQuery clustered(std::string_view folded, bool caseSensitive);

    // Whether this is `query` prepared for a search that does or does not respect case.
    bool holds(std::string_view query, bool caseSensitive) const {
        return caseSensitive_ == caseSensitive && text_ == query;
    }

    bool caseSensitive() const { return caseSensitive_; }
    // Whether the prepared query is `bytes()`, one byte per character; else it is `chars()`.
    bool isBytes() const { return isBytes_; }
    // Empty unless `isBytes()`.
    std::string_view bytes() const { return bytes_; }
    // Empty when `isBytes()`.
    const GraphemeText& chars() const { return chars_; }
    // The groups of the bytes of the prepared query, as IndexedSnippet groups a label's bytes.
    std::uint64_t groups() const { return groups_; }
    // The length of the prepared query in characters.
    std::size_t length() const { return isBytes_ ? bytes_.size() : chars_.size(); }

    // What spells texts that are not plain ASCII for the byte path, prepared on the first call; null
    // when the query cannot be spelt so.
    const QueryAlphabet* alphabet() {
        if (!alphabetPrepared_) {
            prepareAlphabet();
        }
        return alphabetUsable_ ? &alphabet_ : nullptr;
    }

private:
    void finish();
    void prepareAlphabet();

    // The query as given, which holds() compares with.
    std::string text_;
    bool caseSensitive_ = false;
    bool isBytes_ = true;
    std::string bytes_;
    GraphemeText chars_;
    std::uint64_t groups_ = 0;
    QueryAlphabet alphabet_;
    bool alphabetPrepared_ = false;
    bool alphabetUsable_ = false;
};

// The groups of every byte of `bytes`, ASCII letters folded to lower case: bit (byte & 63) for each.
// A character whose bytes fall into a group that a text lacks is not in that text.
std::uint64_t byteGroups(std::string_view bytes);

} // namespace korvane
