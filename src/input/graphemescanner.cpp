#include "input/graphemescanner.h"

#include <algorithm>
#include <cstdint>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

namespace korvane {
namespace {

// Bytes of the UTF-8 sequence that starts with `lead`; a stray byte counts as one character.
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    if (lead >= 0xE0) {
        return lead <= 0xEF ? 3 : 1;
    }
    if (lead >= 0xC2) {
        return 2;
    }
    return 1;
}

} // namespace

struct GraphemeScanner::Impl {
    std::unique_ptr<icu::BreakIterator> iterator;
    UText text = UTEXT_INITIALIZER;
    bool textOpen = false;
    // Without ICU's break rules (missing data) characters fall back to code points.
    std::string_view fallbackText;
    std::size_t fallbackOffset = 0;

    Impl() {
        UErrorCode status = U_ZERO_ERROR;
        iterator.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) {
            iterator.reset();
        }
    }

    ~Impl() {
        if (textOpen) {
            utext_close(&text);
        }
    }

    void start(std::string_view view) {
        fallbackText = view;
        fallbackOffset = 0;
        if (!iterator) {
            return;
        }
        UErrorCode status = U_ZERO_ERROR;
        const char* data = view.empty() ? "" : view.data();
        utext_openUTF8(&text, data, static_cast<std::int64_t>(view.size()), &status);
        textOpen = U_SUCCESS(status);
        if (textOpen) {
            iterator->setText(&text, status);
        }
        if (U_FAILURE(status)) {
            iterator.reset();
        }
    }

    std::size_t next() {
        if (iterator) {
            const std::int32_t boundary = iterator->next();
            return boundary == icu::BreakIterator::DONE ? npos : static_cast<std::size_t>(boundary);
        }
        if (fallbackOffset >= fallbackText.size()) {
            return npos;
        }
        const auto lead = static_cast<unsigned char>(fallbackText[fallbackOffset]);
        fallbackOffset = std::min(fallbackText.size(), fallbackOffset + sequenceLength(lead));
        return fallbackOffset;
    }
};

GraphemeScanner::GraphemeScanner()
    : impl_(std::make_unique<Impl>()) {}

GraphemeScanner::~GraphemeScanner() = default;

void GraphemeScanner::start(std::string_view text) {
    impl_->start(text);
}

std::size_t GraphemeScanner::next() {
    return impl_->next();
}

std::size_t GraphemeScanner::lastCharacterLength(std::string_view text) {
    start(text);
    std::size_t previous = 0;
    std::size_t last = 0;
    for (std::size_t end = next(); end != npos; end = next()) {
        previous = last;
        last = end;
    }
    return last - previous;
}

std::size_t GraphemeScanner::count(std::string_view text) {
    start(text);
    std::size_t characters = 0;
    while (next() != npos) {
        ++characters;
    }
    return characters;
}

} // namespace korvane
