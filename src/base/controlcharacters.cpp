#include "base/controlcharacters.h"

#include "base/unicode.h"

namespace korvane {
namespace {

constexpr std::int32_t tab = 0x09;
constexpr std::int32_t lineFeed = 0x0A;
constexpr std::int32_t carriageReturn = 0x0D;

bool isControl(std::int32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

bool isSeparator(std::int32_t codePoint) {
    return codePoint == 0x2028 || codePoint == 0x2029;
}

// The embeddings, overrides and isolates: they can make text read otherwise than it runs.
bool isBidiControl(std::int32_t codePoint) {
    return (codePoint >= 0x202A && codePoint <= 0x202E) || (codePoint >= 0x2066 && codePoint <= 0x2069);
}

} // namespace

ControlCharacters::Stripped ControlCharacters::strip(std::string_view text) {
    Stripped result;
    result.text.reserve(text.size());
    std::size_t offset = 0;
    while (offset < text.size()) {
        const std::size_t start = offset;
        const std::int32_t codePoint = nextCodePoint(text, offset);
        if (codePoint == carriageReturn) {
            // CR LF keeps only its LF; a lone CR stands for one.
            if (offset < text.size() && text[offset] == '\n') {
                continue;
            }
            result.text.push_back('\n');
            continue;
        }
        if (codePoint < 0 || (isControl(codePoint) && codePoint != tab && codePoint != lineFeed)) {
            ++result.removed;
            continue;
        }
        result.text.append(text.substr(start, offset - start));
    }
    return result;
}

bool ControlCharacters::holdsControlOrLineBreak(std::string_view text) {
    std::size_t offset = 0;
    while (offset < text.size()) {
        if (static_cast<unsigned char>(text[offset]) >= 0x20 &&
            static_cast<unsigned char>(text[offset]) < 0x7F) {
            ++offset;
            continue;
        }
        const std::int32_t codePoint = nextCodePoint(text, offset);
        if (codePoint < 0 || isControl(codePoint) || isSeparator(codePoint) || isBidiControl(codePoint)) {
            return true;
        }
    }
    return false;
}

bool ControlCharacters::holdsLineBreak(std::string_view text) {
    constexpr std::int32_t nextLine = 0x85;
    std::size_t offset = 0;
    while (offset < text.size()) {
        const std::int32_t codePoint = nextCodePoint(text, offset);
        if ((codePoint >= lineFeed && codePoint <= carriageReturn) || codePoint == nextLine ||
            isSeparator(codePoint)) {
            return true;
        }
    }
    return false;
}

std::string ControlCharacters::withoutBidiControls(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    std::size_t offset = 0;
    while (offset < text.size()) {
        const std::size_t start = offset;
        if (!isBidiControl(nextCodePoint(text, offset))) {
            result.append(text.substr(start, offset - start));
        }
    }
    return result;
}

} // namespace korvane
