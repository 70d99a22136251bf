#include "base/graphemescanner.h"

#include "base/unicode.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

namespace korvane {
namespace {

// Bytes of the UTF-8 sequence that starts with `lead`; a stray byte counts as one cluster.
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
    // ASCII text (nearly every key) is walked without ICU: each byte is a cluster except CR LF.
    // Without ICU's break rules (missing data, or a text too long for their 32-bit positions)
    // other text falls back to code points.
    bool ascii = false;
    bool byRules = false;
    std::string_view plainText;
    std::size_t plainOffset = 0;

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
        plainText = view;
        plainOffset = 0;
        ascii = isAscii(view);
        byRules = !ascii && iterator && view.size() < static_cast<std::size_t>(INT32_MAX);
        if (!byRules) {
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
            byRules = false;
        }
    }

    std::size_t next() {
        if (byRules) {
            const std::int32_t boundary = iterator->next();
            return boundary == icu::BreakIterator::DONE ? npos : static_cast<std::size_t>(boundary);
        }
        if (plainOffset >= plainText.size()) {
            return npos;
        }
        const auto lead = static_cast<unsigned char>(plainText[plainOffset]);
        std::size_t step = ascii ? 1 : sequenceLength(lead);
        if (lead == '\r' && plainOffset + 1 < plainText.size() && plainText[plainOffset + 1] == '\n') {
            step = 2;
        }
        plainOffset = std::min(plainText.size(), plainOffset + step);
        return plainOffset;
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

std::size_t GraphemeScanner::lastClusterLength(std::string_view text) {
    start(text);
    std::size_t previous = 0;
    std::size_t last = 0;
    for (std::size_t end = next(); end != npos; end = next()) {
        previous = last;
        last = end;
    }
    return last - previous;
}

std::size_t GraphemeScanner::clusterCount(std::string_view text) {
    start(text);
    std::size_t clusters = 0;
    while (next() != npos) {
        ++clusters;
    }
    return clusters;
}

} // namespace korvane
