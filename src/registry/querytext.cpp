#include "registry/querytext.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

namespace korvane {
namespace {

// Plain ASCII splits into one character per byte, except that CR LF forms a single character.
bool isSimpleAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80 && c != '\r'; });
}

// A character break iterator per thread: creating one is far dearer than reusing it.
icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(created) : nullptr;
    }();
    return iterator.get();
}

// Byte offsets of the cluster starts of `text`, or nothing when ICU cannot segment it.
std::optional<std::vector<std::size_t>> clusterStarts(std::string_view text) {
    icu::BreakIterator* iterator = characterIterator();
    // Break positions are 32-bit; nobody types a query that long.
    if (iterator == nullptr || text.size() >= static_cast<std::size_t>(INT32_MAX)) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    if (U_FAILURE(status)) {
        utext_close(utext);
        return std::nullopt;
    }
    iterator->setText(utext, status);
    std::optional<std::vector<std::size_t>> starts;
    if (U_SUCCESS(status)) {
        starts.emplace();
        for (int32_t at = iterator->first();
             at != icu::BreakIterator::DONE && at < static_cast<int32_t>(text.size());
             at = iterator->next()) {
            starts->push_back(static_cast<std::size_t>(at));
        }
    }
    // The iterator keeps referring to the text it was given; leave it on one that outlives it.
    static const icu::UnicodeString nothing;
    iterator->setText(nothing);
    utext_close(utext);
    return starts;
}

} // namespace

QueryText::QueryText(std::string_view text)
    : text_(text) {
    std::optional<std::vector<std::size_t>> starts;
    if (!isSimpleAscii(text)) {
        starts = clusterStarts(text);
    }
    if (starts) {
        bounds_ = std::move(*starts);
    } else {
        // ASCII, or a segmentation failure: count bytes, which never cuts past the end.
        bounds_.resize(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            bounds_[i] = i;
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
