#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Block-wise handling of the ASCII runs that make up most of the texts the Unicode scans walk.
namespace korvane::detail {

constexpr std::size_t asciiBlockSize = 16;

// Copies the asciiBlockSize bytes at `in` to `out`, with ASCII letters lower-cased when `lowerCase`,
// and returns how many of them lead the block as ASCII other than CR: bytes that are each a cluster
// of their own whatever follows. Both must have room for the whole block.
template <bool lowerCase> std::size_t copyAsciiClusterBlock(const char* in, char* out) {
#if defined(__SSE2__)
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const auto stops = static_cast<unsigned>(_mm_movemask_epi8(block) |
                                             _mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8('\r'))));
    if constexpr (lowerCase) {
        // 'A' to 'Z' shifted to the bottom of the signed bytes take one comparison.
        const __m128i shifted = _mm_add_epi8(block, _mm_set1_epi8(static_cast<char>(0x80 - 'A')));
        const __m128i upper = _mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(0x80 + 26)));
        block = _mm_or_si128(block, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
    return stops == 0 ? asciiBlockSize : static_cast<std::size_t>(__builtin_ctz(stops));
#else
    std::size_t count = 0;
    while (count < asciiBlockSize && static_cast<unsigned char>(in[count]) < 0x80 && in[count] != '\r') {
        const char c = in[count];
        out[count++] = lowerCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
    }
    return count;
#endif
}

} // namespace korvane::detail
