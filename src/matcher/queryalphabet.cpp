#include "matcher/queryalphabet.h"

#include "base/asciiblockreader.h"
#include "base/codepointtable.h"
#include "base/unicode.h"

#include <algorithm>

namespace korvane {
namespace {

constexpr unsigned char firstCharacterByte = 0x80;
// Spells every character the query lacks; no query character takes it.
constexpr unsigned char otherCharacterByte = 0xFF;
constexpr std::size_t maxCharacters = otherCharacterByte - firstCharacterByte;

std::uint64_t characterBit(char32_t codePoint) {
    return std::uint64_t{1} << (codePoint & 63);
}

} // namespace

bool QueryAlphabet::assign(const GraphemeText& query) {
    queryBytes_.clear();
    characters_.clear();
    characterBits_ = 0;
    if (!query.singleCodePointClusters()) {
        return false;
    }
    const std::string_view bytes = query.bytes();
    for (std::size_t offset = 0; offset < bytes.size();) {
        const auto codePoint = static_cast<char32_t>(nextCodePoint(bytes, offset));
        if (codePoint < 0x80) {
            queryBytes_.push_back(static_cast<char>(codePoint));
            continue;
        }
        auto known = std::find(characters_.begin(), characters_.end(), codePoint);
        if (known == characters_.end()) {
            if (characters_.size() == maxCharacters) {
                return false;
            }
            known = characters_.insert(known, codePoint);
            characterBits_ |= characterBit(codePoint);
        }
        queryBytes_.push_back(static_cast<char>(firstCharacterByte + (known - characters_.begin())));
    }
    return true;
}

void QueryAlphabet::assign(std::string_view singleByteQuery) {
    queryBytes_.assign(singleByteQuery);
    characters_.clear();
    characterBits_ = 0;
}

std::optional<std::string_view> QueryAlphabet::spell(std::string_view text, bool caseSensitive,
                                                     std::string& buffer) const {
    return caseSensitive ? spellCodePoints<false>(text, buffer) : spellCodePoints<true>(text, buffer);
}

char QueryAlphabet::byteFor(char32_t codePoint) const {
    // Lower-casing can turn a non-ASCII character into ASCII, as with the Kelvin sign.
    if (codePoint < 0x80) {
        return static_cast<char>(codePoint);
    }
    if ((characterBits_ & characterBit(codePoint)) != 0) {
        for (std::size_t i = 0; i < characters_.size(); ++i) {
            if (characters_[i] == codePoint) {
                return static_cast<char>(firstCharacterByte + i);
            }
        }
    }
    return static_cast<char>(otherCharacterByte);
}

template <bool lowerCase>
std::optional<std::string_view> QueryAlphabet::spellCodePoints(std::string_view text,
                                                               std::string& buffer) const {
    // One byte per code point, and room for a block that copies past the ASCII it takes, which what
    // follows overwrites. The buffer only grows, so spelling one more text costs no allocation.
    if (buffer.size() < text.size() + AsciiBlockReader::blockSize) {
        buffer.resize(text.size() + AsciiBlockReader::blockSize);
    }
    char* out = buffer.data();
    std::size_t written = 0;
    const AsciiBlockReader blocks(text);
    const CodePointTable& table = CodePointTable::shared();
    for (std::size_t offset = 0; offset < text.size();) {
        if (const std::size_t ascii = blocks.copyClusters<lowerCase>(offset, out + written); ascii > 0) {
            offset += ascii;
            written += ascii;
            continue;
        }
        // A CR may pair with an LF into one cluster, which the cluster path sees to.
        if (text[offset] == '\r') {
            return std::nullopt;
        }
        const std::int32_t codePoint = nextCodePoint(text, offset);
        if (codePoint < 0) {
            return std::nullopt;
        }
        const CodePointTable::Traits traits = table.traits(static_cast<char32_t>(codePoint));
        if (!(lowerCase ? traits.lowersAlone : traits.standsAlone)) {
            return std::nullopt;
        }
        out[written++] = byteFor(lowerCase ? traits.lower : static_cast<char32_t>(codePoint));
    }
    return std::string_view(out, written);
}

} // namespace korvane
