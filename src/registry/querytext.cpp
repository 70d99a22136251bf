#include "registry/querytext.h"

#include "base/graphemescanner.h"
#include "base/unicode.h"

#include <algorithm>

namespace korvane {

QueryText::QueryText(std::string_view text)
    : text_(text) {
    bounds_.reserve(text.size() + 1);
    if (isSingleByteClusters(text)) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            bounds_.push_back(i);
        }
    } else {
        // Creating a break iterator is far dearer than reusing one, so each thread keeps a scanner.
        thread_local GraphemeScanner scanner;
        scanner.start(text);
        bounds_.push_back(0);
        for (std::size_t end = scanner.next(); end != GraphemeScanner::npos && end < text.size();
             end = scanner.next()) {
            bounds_.push_back(end);
        }
    }
    bounds_.push_back(text.size());
}

std::string_view QueryText::character(std::size_t index) const {
    return slice(index, index + 1);
}

std::string_view QueryText::slice(std::size_t first, std::size_t last) const {
    last = std::min(last, size());
    first = std::min(first, last);
    return text_.substr(bounds_[first], bounds_[last] - bounds_[first]);
}

std::optional<std::size_t> QueryText::firstSeparator(std::size_t from) const {
    for (std::size_t i = from; i < size(); ++i) {
        const std::string_view c = character(i);
        if (c == " " || c == "/") {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace korvane
