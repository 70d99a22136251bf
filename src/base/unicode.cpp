#include "base/unicode.h"

#include "base/graphemetext.h"

#include <algorithm>
#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace korvane {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 128; });
}

bool isSingleByteClusters(std::string_view text) {
    return isAscii(text) && text.find("\r\n") == std::string_view::npos;
}

std::string lowercased(std::string_view text) {
    if (isAscii(text)) {
        std::string result(text);
        for (char& c : result) {
            c = asciiLower(c);
        }
        return result;
    }
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    unicode.toLower(icu::Locale::getRoot());
    std::string result;
    unicode.toUTF8String(result);
    return result;
}

std::size_t graphemeCount(std::string_view text) {
    if (isAscii(text)) {
        std::size_t pairs = 0;
        for (std::size_t at = text.find("\r\n"); at != std::string_view::npos; at = text.find("\r\n", at + 2)) {
            ++pairs;
        }
        return text.size() - pairs;
    }
    return GraphemeText(text).size();
}

std::string nfcNormalized(std::string_view text) {
    if (isAscii(text)) {
        return std::string(text);
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) {
        return std::string(text);
    }
    const icu::UnicodeString source = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    icu::UnicodeString normalized = nfc->normalize(source, status);
    if (U_FAILURE(status)) {
        return std::string(text);
    }
    std::string result;
    normalized.toUTF8String(result);
    return result;
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
    if (a == b) {
        return true;
    }
    if (isAscii(a) && isAscii(b)) {
        return false;
    }
    return nfcNormalized(a) == nfcNormalized(b);
}

CharacterCase characterCase(std::string_view cluster) {
    if (cluster.empty()) {
        return CharacterCase::uncased;
    }
    const char first = cluster.front();
    if (static_cast<unsigned char>(first) < 128) {
        return isAsciiUpper(first)   ? CharacterCase::upper
               : isAsciiLower(first) ? CharacterCase::lower
                                     : CharacterCase::uncased;
    }
    std::int32_t offset = 0;
    UChar32 codePoint = 0;
    U8_NEXT(reinterpret_cast<const std::uint8_t*>(cluster.data()), offset, static_cast<std::int32_t>(cluster.size()),
            codePoint);
    if (codePoint < 0) {
        return CharacterCase::uncased;
    }
    if (u_isULowercase(codePoint)) {
        return CharacterCase::lower;
    }
    if (u_isUUppercase(codePoint)) {
        return CharacterCase::upper;
    }
    return CharacterCase::uncased;
}

} // namespace korvane
