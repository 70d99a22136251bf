#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

// Unicode helpers shared by matching, ranking and sorting. All take and return UTF-8, are pure and
// safe to call from any thread; ASCII input takes a fast path that needs no ICU call and no allocation
// beyond the returned string.

// Whether every byte of `text` is below 128.
bool isAscii(std::string_view text);

// Whether `text` is well-formed UTF-8 (no cut sequences, overlong forms or surrogates).
bool isValidUtf8(std::string_view text);

// Whether every byte of `text` is one extended grapheme cluster: ASCII without a "\r\n" pair,
// which is the one ASCII sequence that forms a two-byte cluster.
bool isSingleByteClusters(std::string_view text);

constexpr char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}
// The value of an ASCII hexadecimal digit of either case; -1 for any other character.
constexpr int asciiHexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}
constexpr bool isAsciiUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
constexpr bool isAsciiLower(char c) {
    return c >= 'a' && c <= 'z';
}
constexpr char asciiUpper(char c) {
    return isAsciiLower(c) ? static_cast<char>(c - ('a' - 'A')) : c;
}

// `text` with A to Z lower-cased and every other byte kept.
inline std::string asciiLowercased(std::string text) {
    for (char& c : text) {
        c = asciiLower(c);
    }
    return text;
}

// `text` without the leading and trailing bytes that are among `characters` (ASCII ones).
constexpr std::string_view trimmedAscii(std::string_view text, std::string_view characters) {
    const auto first = text.find_first_not_of(characters);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(characters) - first + 1);
}

namespace detail {
std::int32_t nextCodePointOutOfLine(std::string_view text, std::size_t& offset);
} // namespace detail

// Reads the code point that begins at byte `offset` of `text` (offset < size) and moves `offset`
// past it; negative, with `offset` past the malformed bytes, when the UTF-8 there is malformed.
// ASCII and two-byte sequences, which hold most accented letters, are decoded inline.
inline std::int32_t nextCodePoint(std::string_view text, std::size_t& offset) {
    const auto lead = static_cast<unsigned char>(text[offset]);
    if (lead < 0x80) {
        ++offset;
        return lead;
    }
    if (lead >= 0xC2 && lead < 0xE0 && offset + 1 < text.size() &&
        (static_cast<unsigned char>(text[offset + 1]) & 0xC0) == 0x80) {
        const auto trail = static_cast<unsigned char>(text[offset + 1]);
        offset += 2;
        return ((lead & 0x1F) << 6) | (trail & 0x3F);
    }
    return detail::nextCodePointOutOfLine(text, offset);
}

// Writes the UTF-8 form of `codePoint` to `out`, which has room for four bytes; returns its length.
std::size_t encodeUtf8(char32_t codePoint, char* out);

// Whether `codePoint` can reorder or hide the text around it while drawing nothing of its own: format
// characters (the bidirectional controls and zero-width characters among them), the line and paragraph
// separators and the other code points a renderer may ignore. Control characters are not among them.
bool reordersOrHidesText(std::int32_t codePoint);

// Full Unicode lower-casing (root locale, so the result does not depend on the user's language).
std::string lowercased(std::string_view text);

// The same into `out`, reusing its storage; for loops that lower-case many texts.
void lowercaseInto(std::string_view text, std::string& out);

// The number of extended grapheme clusters of `text`.
std::size_t graphemeCount(std::string_view text);

// The text in Normalization Form C; precomposed and decomposed spellings of a letter become equal.
std::string nfcNormalized(std::string_view text);

// Whether two texts are canonically equivalent (equal after NFC normalisation).
bool canonicallyEqual(std::string_view a, std::string_view b);

// The Unicode case property of a grapheme cluster, taken from its first code point; digits,
// punctuation and letters of caseless scripts are `uncased`.
enum class CharacterCase { uncased, lower, upper };
CharacterCase characterCase(std::string_view cluster);

} // namespace korvane
