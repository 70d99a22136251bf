#include "providers/providertext.h"

#include "base/unicode.h"

#include <memory>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace korvane {
namespace {

template <class Predicate>
std::string_view trimmed(std::string_view text, Predicate&& keep) {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool found = false;
    std::size_t offset = 0;
    while (offset < text.size()) {
        const std::size_t start = offset;
        const auto codePoint = static_cast<char32_t>(nextCodePoint(text, offset));
        if (!keep(codePoint)) {
            continue;
        }
        if (!found) {
            begin = start;
            found = true;
        }
        end = offset;
    }
    return found ? text.substr(begin, end - begin) : std::string_view();
}

} // namespace

bool isProviderLineBreak(char32_t codePoint) {
    return (codePoint >= 0x0A && codePoint <= 0x0D) || codePoint == 0x85 || codePoint == 0x2028 ||
           codePoint == 0x2029;
}

bool isProviderBlank(char32_t codePoint) {
    if (codePoint == '\t' || codePoint == ' ') {
        return true;
    }
    return codePoint > 0x7F && u_charType(static_cast<UChar32>(codePoint)) == U_SPACE_SEPARATOR;
}

std::string_view trimmedWhitespaceAndNewlines(std::string_view text) {
    return trimmed(text, [](char32_t c) { return !isProviderBlank(c) && !isProviderLineBreak(c); });
}

std::string_view trimmedBlanks(std::string_view text) {
    return trimmed(text, [](char32_t c) { return !isProviderBlank(c); });
}

std::string_view nextProviderLine(std::string_view text, std::size_t& offset) {
    // Every line break begins with a byte that never continues another sequence, valid or not (an
    // ASCII control, or the lead 0xC2 or 0xE2), so only such bytes are decoded: in the same places as
    // a walk by code points, at a fraction of its cost on text that is not ASCII.
    const std::size_t lineStart = offset;
    for (std::size_t at = offset; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if ((byte >= 0x0A && byte <= 0x0D) || byte == 0xC2 || byte == 0xE2) {
            std::size_t next = at;
            if (isProviderLineBreak(static_cast<char32_t>(nextCodePoint(text, next)))) {
                offset = next;
                return text.substr(lineStart, at - lineStart);
            }
        }
    }
    offset = std::string_view::npos;
    return text.substr(lineStart);
}

std::vector<std::string_view> providerLines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t offset = 0; offset != std::string_view::npos;) {
        lines.push_back(nextProviderLine(text, offset));
    }
    return lines;
}

std::string graphemePrefix(std::string_view text, std::size_t count) {
    if (isAscii(text)) {
        // Only "\r\n" joins two ASCII characters into one cluster.
        std::size_t offset = 0;
        for (std::size_t taken = 0; taken < count && offset < text.size(); ++taken) {
            offset += text.compare(offset, 2, "\r\n") == 0 ? 2u : 1u;
        }
        return std::string(text.substr(0, offset));
    }
    const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    UErrorCode error = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> clusters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), error));
    if (U_FAILURE(error)) {
        return std::string(text);
    }
    clusters->setText(unicode);
    std::int32_t end = clusters->first();
    for (std::size_t taken = 0; taken < count; ++taken) {
        const std::int32_t next = clusters->next();
        if (next == icu::BreakIterator::DONE) {
            break;
        }
        end = next;
    }
    std::string result;
    unicode.tempSubString(0, end).toUTF8String(result);
    return result;
}

std::string uppercased(std::string_view text) {
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    unicode.toUpper(icu::Locale::getRoot());
    std::string result;
    unicode.toUTF8String(result);
    return result;
}

} // namespace korvane
