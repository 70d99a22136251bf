#include "input/querybuffer.h"

#include "base/unicode.h"

#include <cstring>
#include <string.h>

namespace korvane {

QueryBuffer::~QueryBuffer() {
    clear();
}

void QueryBuffer::append(std::string_view characters) {
    scanner_.start(characters);
    std::size_t begin = 0;
    for (std::size_t end = scanner_.next(); end != GraphemeScanner::npos;
         begin = end, end = scanner_.next()) {
        const std::size_t size = end - begin;
        // After one character did not fit, later ones are not stored either: the stored text stays a
        // prefix of what the application received.
        if (overflow_ == 0 && length_ + size <= capacity) {
            std::memcpy(bytes_.data() + length_, characters.data() + begin, size);
            length_ += size;
        } else {
            ++overflow_;
        }
    }
    recount();
}

void QueryBuffer::removeLast() {
    if (overflow_ > 0) {
        --overflow_;
    } else if (length_ > 0) {
        const std::size_t size = scanner_.lastClusterLength(bytes());
        explicit_bzero(bytes_.data() + length_ - size, size);
        length_ -= size;
    }
    recount();
}

void QueryBuffer::clear() {
    // The query may be part of a password; explicit_bzero survives dead-store elimination.
    explicit_bzero(bytes_.data(), bytes_.size());
    length_ = 0;
    overflow_ = 0;
    characters_ = 0;
}

std::string QueryBuffer::text() const {
    const std::string_view stored = bytes();
    return isValidUtf8(stored) ? std::string(stored) : std::string();
}

void QueryBuffer::recount() {
    // Counted over the whole buffer, so a combining mark typed on its own joins the character before it.
    characters_ = scanner_.clusterCount(bytes()) + overflow_;
}

} // namespace korvane
