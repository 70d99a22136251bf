#include "input/utf8text.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <limits>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace korvane {
namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

icu::StringPiece toPiece(std::string_view text) {
    return {text.data(), static_cast<std::int32_t>(std::min<std::size_t>(text.size(), INT32_MAX))};
}

} // namespace

bool isValidUtf8(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t index = 0;
    while (index < length) {
        UChar32 c = 0;
        U8_NEXT(bytes, index, length, c);
        if (c < 0) {
            return false;
        }
    }
    return true;
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
    if (a == b) {
        return true;
    }
    // No ASCII character has a decomposition, so two different ASCII texts are never equivalent.
    // (A non-ASCII text can still equal an ASCII one: U+037E GREEK QUESTION MARK is ";".)
    if (isAscii(a) && isAscii(b)) {
        return false;
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) {
        return false;
    }
    const icu::UnicodeString left = nfc->normalize(icu::UnicodeString::fromUTF8(toPiece(a)), status);
    const icu::UnicodeString right = nfc->normalize(icu::UnicodeString::fromUTF8(toPiece(b)), status);
    return U_SUCCESS(status) && left == right;
}

} // namespace korvane
