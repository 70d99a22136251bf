#include "input/injectiontext.h"

#include "base/controlcharacters.h"
#include "base/unicode.h"

namespace korvane {

InjectionText InjectionText::fromExpansion(std::string_view expansion) {
    // Every route (typed keys, pasted clipboard, accessibility) gets its text from here.
    ControlCharacters::Stripped stripped = ControlCharacters::strip(expansion);
    const std::string_view clean = stripped.text;
    const std::size_t marker = clean.find(caretMarker);
    if (marker == std::string_view::npos) {
        return {std::move(stripped.text), {}, stripped.removed};
    }
    std::string text(clean.substr(0, marker));
    std::string trailing(clean.substr(marker + caretMarker.size()));
    text += trailing;
    return {std::move(text), std::move(trailing), stripped.removed};
}

std::vector<std::string> InjectionText::typingChunks(std::string_view text, int chunkSize) {
    std::vector<std::string> chunks;
    if (chunkSize < 1) {
        return chunks;
    }
    const auto limit = static_cast<std::size_t>(chunkSize);
    std::size_t chunkStart = 0;
    std::size_t units = 0;
    for (std::size_t offset = 0; offset < text.size();) {
        const std::size_t codePointStart = offset;
        const std::int32_t codePoint = nextCodePoint(text, offset);
        const std::size_t width = codePoint > 0xFFFF ? 2 : 1;
        if (units > 0 && units + width > limit) {
            chunks.emplace_back(text.substr(chunkStart, codePointStart - chunkStart));
            chunkStart = codePointStart;
            units = 0;
        }
        units += width;
    }
    if (chunkStart < text.size()) {
        chunks.emplace_back(text.substr(chunkStart));
    }
    return chunks;
}

std::size_t InjectionText::codePointCount(std::string_view text) {
    std::size_t count = 0;
    for (char byte : text) {
        if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

} // namespace korvane
