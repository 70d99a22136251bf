#pragma once

#include "base/unicode.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvane {

#if defined(__SSE2__)
namespace detail {

// The lanes of `block` holding 'A' to 'Z': shifting that range to the bottom of the signed bytes
// lets one signed comparison test both of its ends.
inline __m128i asciiUpperLanes(__m128i block) {
    const __m128i shifted = _mm_add_epi8(block, _mm_set1_epi8(static_cast<char>(0x80 - 'A')));
    return _mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(0x80 + 26)));
}

// `block` with 'A' to 'Z' lower-cased and every other byte kept.
inline __m128i asciiLowercased(__m128i block) {
    return _mm_or_si128(block, _mm_and_si128(asciiUpperLanes(block), _mm_set1_epi8(0x20)));
}

} // namespace detail
#endif

// Hands the Unicode scans a text a block at a time from any offset, so that they copy its ASCII runs,
// most of nearly every text, a block at a time: blocks that would run past the end come from a copy
// of the last bytes padded with bytes that end any run. A scan keeps one on its stack for one text.
class AsciiBlockReader {
public:
    static constexpr std::size_t blockSize = 16;

    explicit AsciiBlockReader(std::string_view text)
        : text_(text)
        , tailStart_(text.size() > blockSize ? text.size() - blockSize : 0) {
        std::memset(tail_, static_cast<char>(0x80), sizeof(tail_));
        copyShort(text.substr(tailStart_), tail_);
    }

    // Copies the block at `offset` (within the text) to `out`, which has room for a block, with ASCII
    // letters lower-cased when `lowerCase`, and returns how many bytes lead it as ASCII other than CR:
    // bytes that are each a cluster of their own whatever follows. Bytes past those are copied too.
    template <bool lowerCase> std::size_t copyClusters(std::size_t offset, char* out) const {
        const char* in =
            offset + blockSize <= text_.size() ? text_.data() + offset : tail_ + (offset - tailStart_);
#if defined(__SSE2__)
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const auto stops = static_cast<unsigned>(
            _mm_movemask_epi8(block) | _mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8('\r'))));
        if constexpr (lowerCase) {
            block = detail::asciiLowercased(block);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
        return stops == 0 ? blockSize : static_cast<std::size_t>(__builtin_ctz(stops));
#else
        std::size_t count = 0;
        while (count < blockSize && static_cast<unsigned char>(in[count]) < 0x80 && in[count] != '\r') {
            const char c = in[count];
            out[count++] = lowerCase ? asciiLower(c) : c;
        }
        return count;
#endif
    }

private:
    // Copies at most a block with fixed-size copies, which need no library call: two that overlap in
    // the middle when the length lies between their size and twice it.
    static void copyShort(std::string_view bytes, char* out) {
        const char* in = bytes.data();
        const std::size_t length = bytes.size();
        if (length >= 8) {
            std::memcpy(out, in, 8);
            std::memcpy(out + length - 8, in + length - 8, 8);
        } else if (length >= 4) {
            std::memcpy(out, in, 4);
            std::memcpy(out + length - 4, in + length - 4, 4);
        } else {
            for (std::size_t i = 0; i < length; ++i) {
                out[i] = in[i];
            }
        }
    }

    std::string_view text_;
    std::size_t tailStart_;
    char tail_[2 * blockSize];
};

} // namespace korvane
