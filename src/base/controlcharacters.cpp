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
        if (codePoint < 0 || isControl(codePoint) || codePoint == 0x2028 || codePoint == 0x2029) {
            return true;
        }
    }
    return false;
}

} // namespace korvane
