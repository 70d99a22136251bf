#include "matcher/preparedquery.h"

#include "base/unicode.h"
#include "matcher/bytesearch.h"

#include <utility>

namespace korvane {

std::uint64_t byteGroups(std::string_view bytes) {
    std::uint64_t groups = 0;
    for (const char c : bytes) {
        groups |= std::uint64_t{1} << (asciiLower(c) & 63);
    }
    return groups;
}

void PreparedQuery::assign(std::string_view query, bool caseSensitive) {
    text_.assign(query);
    caseSensitive_ = caseSensitive;
    bytes_.resize(query.size());
    isBytes_ = detail::copySingleByteClusters(query, !caseSensitive, bytes_.data());
    if (!isBytes_) {
        // Folding can turn a character into plain ASCII (the Kelvin sign into "k"), so the folded
        // query decides its form.
        std::string folded = caseSensitive ? std::string(query) : lowercased(query);
        isBytes_ = isSingleByteClusters(folded);
        if (isBytes_) {
            bytes_ = std::move(folded);
        } else {
            bytes_.clear();
            chars_.assign(folded);
        }
    }
    finish();
}

PreparedQuery PreparedQuery::clustered(std::string_view folded, bool caseSensitive) {
    PreparedQuery query;
    query.text_.assign(folded);
    query.caseSensitive_ = caseSensitive;
    query.isBytes_ = false;
    query.chars_.assign(folded);
    query.finish();
    return query;
}

void PreparedQuery::finish() {
    if (isBytes_) {
        chars_.assign({});
    }
    groups_ = byteGroups(isBytes_ ? std::string_view(bytes_) : chars_.bytes());
    alphabetPrepared_ = false;
    alphabetUsable_ = false;
}

void PreparedQuery::prepareAlphabet() {
    alphabetPrepared_ = true;
    if (isBytes_) {
        alphabet_.assign(bytes_);
        alphabetUsable_ = true;
    } else {
        alphabetUsable_ = alphabet_.assign(chars_);
    }
}

} // namespace korvane
