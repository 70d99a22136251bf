#include "base/graphemetext.h"

#include "base/unicode.h"

#include <algorithm>
#include <memory>
#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace korvane {
namespace {

// Creating a break iterator loads rule data, so each thread keeps one and only resets its text.
icu::BreakIterator* characterBreaks() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(created) : nullptr;
    }();
    return iterator.get();
}

// A code point that always stands alone as a cluster and is already in composed form: no
// combining mark, joiner, modifier, regional indicator, Hangul jamo or other character that the
// cluster rules attach to a neighbour, and no character that composes with its predecessor.
bool isStandaloneComposed(UChar32 codePoint) {
    return u_getIntPropertyValue(codePoint, UCHAR_GRAPHEME_CLUSTER_BREAK) == U_GCB_OTHER &&
           u_getIntPropertyValue(codePoint, UCHAR_NFC_QUICK_CHECK) == UNORM_YES;
}

} // namespace

std::optional<std::size_t> GraphemeText::clusterStartingAt(std::size_t offset) const {
    if (offset == 0) {
        return ends_.empty() ? std::nullopt : std::optional<std::size_t>(0);
    }
    const auto end = std::lower_bound(ends_.begin(), ends_.end(), offset);
    if (end == ends_.end() || *end != offset || end + 1 == ends_.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(end - ends_.begin()) + 1;
}

void GraphemeText::assign(std::string_view utf8) {
    bytes_.clear();
    ends_.clear();
    // A text has at most one cluster per byte; reserving once spares a growth check per cluster.
    ends_.reserve(utf8.size());
    if (assignSingleByteClusters(utf8) || assignSingleCodePointClusters(utf8)) {
        return;
    }
    bytes_.clear();
    ends_.clear();
    assignWithBreakIterator(utf8);
}

bool GraphemeText::assignSingleByteClusters(std::string_view utf8) {
    if (!isAscii(utf8)) {
        return false;
    }
    bytes_.assign(utf8);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
            ++i;
        }
        ends_.push_back(static_cast<std::uint32_t>(i + 1));
    }
    return true;
}

// The common non-ASCII text (accented Latin, Cyrillic, Greek, CJK in composed form) has one code
// point per cluster; recognising that is far cheaper than running the break rules.
bool GraphemeText::assignSingleCodePointClusters(std::string_view utf8) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const auto length = static_cast<std::int32_t>(utf8.size());
    std::int32_t offset = 0;
    while (offset < length) {
        if (bytes[offset] < 128) {
            if (bytes[offset] == '\r') {
                return false;
            }
            ++offset;
        } else {
            UChar32 codePoint = 0;
            U8_NEXT(bytes, offset, length, codePoint);
            if (codePoint < 0 || !isStandaloneComposed(codePoint)) {
                return false;
            }
        }
        ends_.push_back(static_cast<std::uint32_t>(offset));
    }
    bytes_.assign(utf8);
    return true;
}

void GraphemeText::assignWithBreakIterator(std::string_view utf8) {
    const icu::UnicodeString source =
        icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<std::int32_t>(utf8.size())));
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    // Clusters of a text that is already in NFC are in NFC themselves, so the common case skips
    // normalising cluster by cluster.
    const bool alreadyNfc = U_FAILURE(status) || nfc->isNormalized(source, status);

    icu::BreakIterator* breaks = characterBreaks();
    if (breaks == nullptr) {
        // Without break rules, fall back to one code point per cluster rather than failing.
        for (std::int32_t start = 0; start < source.length(); start = source.moveIndex32(start, 1)) {
            source.tempSubStringBetween(start, source.moveIndex32(start, 1)).toUTF8String(bytes_);
            ends_.push_back(static_cast<std::uint32_t>(bytes_.size()));
        }
        return;
    }
    breaks->setText(source);
    std::int32_t start = breaks->first();
    for (std::int32_t end = breaks->next(); end != icu::BreakIterator::DONE;
         start = end, end = breaks->next()) {
        icu::UnicodeString cluster = source.tempSubStringBetween(start, end);
        if (!alreadyNfc) {
            UErrorCode clusterStatus = U_ZERO_ERROR;
            icu::UnicodeString normalized = nfc->normalize(cluster, clusterStatus);
            if (U_SUCCESS(clusterStatus)) {
                cluster = normalized;
            }
        }
        cluster.toUTF8String(bytes_);
        ends_.push_back(static_cast<std::uint32_t>(bytes_.size()));
    }
}

} // namespace korvane
