#include "base/unicode.h"

#include "base/codepointtable.h"
#include "base/graphemetext.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace korvane {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 128; });
}

bool isValidUtf8(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t index = 0;
    while (index < length) {
        UChar32 codePoint = 0;
        U8_NEXT(bytes, index, length, codePoint);
        if (codePoint < 0) {
            return false;
        }
    }
    return true;
}

bool isSingleByteClusters(std::string_view text) {
    return isAscii(text) && text.find("\r\n") == std::string_view::npos;
}

namespace detail {

std::int32_t nextCodePointOutOfLine(std::string_view text, std::size_t& offset) {
    auto index = static_cast<std::int32_t>(offset);
    UChar32 codePoint = 0;
    U8_NEXT(reinterpret_cast<const std::uint8_t*>(text.data()), index, static_cast<std::int32_t>(text.size()),
            codePoint);
    offset = static_cast<std::size_t>(index);
    return codePoint;
}

} // namespace detail

std::size_t encodeUtf8(char32_t codePoint, char* out) {
    const auto value = static_cast<std::uint32_t>(codePoint);
    if (value < 0x80) {
        out[0] = static_cast<char>(value);
        return 1;
    }
    if (value < 0x800) {
        out[0] = static_cast<char>(0xC0 | (value >> 6));
        out[1] = static_cast<char>(0x80 | (value & 0x3F));
        return 2;
    }
    if (value < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (value >> 12));
        out[1] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (value & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (value >> 18));
    out[1] = static_cast<char>(0x80 | ((value >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (value & 0x3F));
    return 4;
}

namespace {

void lowercaseWithIcu(std::string_view text, std::string& out) {
    icu::UnicodeString unicode =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    unicode.toLower(icu::Locale::getRoot());
    out.clear();
    unicode.toUTF8String(out);
}

} // namespace

void lowercaseInto(std::string_view text, std::string& out) {
    out.clear();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    out.reserve(text.size());
    const CodePointTable& table = CodePointTable::shared();
    std::int32_t offset = 0;
    while (offset < length) {
        if (bytes[offset] < 128) {
            // Runs of ASCII, the bulk of most texts, are appended whole and lowered in place.
            std::int32_t runEnd = offset + 1;
            while (runEnd < length && bytes[runEnd] < 128) {
                ++runEnd;
            }
            const std::size_t runStart = out.size();
            out.append(text.data() + offset, static_cast<std::size_t>(runEnd - offset));
            for (std::size_t i = runStart; i < out.size(); ++i) {
                out[i] = asciiLower(out[i]);
            }
            offset = runEnd;
            continue;
        }
        UChar32 codePoint = 0;
        U8_NEXT(bytes, offset, length, codePoint);
        if (codePoint < 0 || CodePointTable::lowersInContext(static_cast<char32_t>(codePoint))) {
            // ICU applies the context rules; every other code point maps to its simple lower case.
            lowercaseWithIcu(text, out);
            return;
        }
        char encoded[4];
        out.append(encoded, encodeUtf8(table.traits(static_cast<char32_t>(codePoint)).lower, encoded));
    }
}

bool reordersOrHidesText(std::int32_t codePoint) {
    switch (u_charType(codePoint)) {
    case U_FORMAT_CHAR:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
        return true;
    default:
        return u_hasBinaryProperty(codePoint, UCHAR_DEFAULT_IGNORABLE_CODE_POINT) ||
               u_hasBinaryProperty(codePoint, UCHAR_BIDI_CONTROL);
    }
}

std::string lowercased(std::string_view text) {
    std::string result;
    lowercaseInto(text, result);
    return result;
}

std::size_t graphemeCount(std::string_view text) {
    if (isAscii(text)) {
        std::size_t pairs = 0;
        for (std::size_t at = text.find("\r\n"); at != std::string_view::npos;
             at = text.find("\r\n", at + 2)) {
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
    const icu::UnicodeString source =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
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
    U8_NEXT(reinterpret_cast<const std::uint8_t*>(cluster.data()), offset,
            static_cast<std::int32_t>(cluster.size()), codePoint);
    if (codePoint < 0) {
        return CharacterCase::uncased;
    }
    return CodePointTable::shared().traits(static_cast<char32_t>(codePoint)).letterCase;
}

} // namespace korvane
