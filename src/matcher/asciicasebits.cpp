#include "matcher/asciicasebits.h"

#include "base/unicode.h"

#include <algorithm>

namespace korvane {

std::optional<AsciiCaseBits> AsciiCaseBits::between(std::string_view typed, std::string_view lowered) {
    if (typed.size() != lowered.size() || typed.size() > capacity) {
        return std::nullopt;
    }
    AsciiCaseBits bits;
    for (std::size_t i = 0; i < typed.size(); ++i) {
        if (typed[i] == lowered[i]) {
            continue;
        }
        if (!isAsciiUpper(typed[i]) || asciiLower(typed[i]) != lowered[i]) {
            return std::nullopt;
        }
        bits.upper_[i / 64] |= std::uint64_t{1} << (i % 64);
    }
    return bits;
}

std::string_view AsciiCaseBits::restore(std::string_view lowered, Buffer& buffer) const {
    if (upper_ == Words{}) {
        return lowered;
    }
    std::copy(lowered.begin(), lowered.end(), buffer.begin());
    for (std::size_t word = 0; word < upper_.size(); ++word) {
        for (std::uint64_t rest = upper_[word]; rest != 0; rest &= rest - 1) {
            char& letter = buffer[word * 64 + static_cast<std::size_t>(__builtin_ctzll(rest))];
            letter = asciiUpper(letter);
        }
    }
    return std::string_view(buffer.data(), lowered.size());
}

} // namespace korvane
