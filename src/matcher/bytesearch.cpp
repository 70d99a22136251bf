#include "matcher/bytesearch.h"

#include "base/asciiblockreader.h"
#include "base/unicode.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvane::detail {
namespace {

// Whether the needle, whose first and last bytes already agree, occurs at `at`.
bool middleMatches(const char* at, std::string_view needle) {
    return needle.size() <= 2 || std::memcmp(at + 1, needle.data() + 1, needle.size() - 2) == 0;
}

std::size_t findBytesScalar(std::string_view haystack, std::string_view needle) {
    const std::size_t lastStart = haystack.size() - needle.size();
    const char first = needle.front();
    const char last = needle.back();
    const char* data = haystack.data();
    const std::size_t lastOffset = needle.size() - 1;
    for (std::size_t at = 0; at <= lastStart; ++at) {
        if (data[at] == first && data[at + lastOffset] == last && middleMatches(data + at, needle)) {
            return at;
        }
    }
    return std::string_view::npos;
}

#if defined(__SSE2__)
std::uint32_t equalBytes(const char* at, __m128i pattern) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, pattern)));
}

// Tests sixteen candidate positions at once on their first and last bytes, which leaves few for the
// full comparison. The last block overlaps the one before it rather than falling back to bytes.
std::size_t findBytesVector(std::string_view haystack, std::string_view needle) {
    const std::size_t candidates = haystack.size() - needle.size() + 1;
    const std::size_t lastOffset = needle.size() - 1;
    const __m128i first = _mm_set1_epi8(needle.front());
    const __m128i last = _mm_set1_epi8(needle.back());
    const char* data = haystack.data();
    for (std::size_t block = 0; block < candidates; block += 16) {
        std::size_t at = block;
        std::uint32_t skip = 0;
        if (at + 16 > candidates) {
            at = candidates - 16;
            skip = static_cast<std::uint32_t>(block - at);
        }
        std::uint32_t mask = equalBytes(data + at, first) & equalBytes(data + at + lastOffset, last);
        mask &= ~((1u << skip) - 1);
        while (mask != 0) {
            const std::size_t hit = at + static_cast<std::size_t>(__builtin_ctz(mask));
            if (middleMatches(data + hit, needle)) {
                return hit;
            }
            mask &= mask - 1;
        }
    }
    return std::string_view::npos;
}
#endif

} // namespace

std::size_t findBytes(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) {
        return 0;
    }
    if (needle.size() > haystack.size()) {
        return std::string_view::npos;
    }
    if (needle.size() == 1) {
        // The first keystroke of every search: one comparison per block instead of two.
        const std::size_t at = findByteFrom(haystack, needle.front(), 0);
        return at == haystack.size() ? std::string_view::npos : at;
    }
#if defined(__SSE2__)
    if (haystack.size() - needle.size() + 1 >= 16) {
        return findBytesVector(haystack, needle);
    }
#endif
    return findBytesScalar(haystack, needle);
}

std::size_t findByteFrom(std::string_view bytes, char byte, std::size_t from) {
    const char* data = bytes.data();
    const std::size_t size = bytes.size();
#if defined(__SSE2__)
    if (size - from >= 16) {
        const __m128i pattern = _mm_set1_epi8(byte);
        for (std::size_t block = from; block < size; block += 16) {
            std::size_t at = block;
            std::uint32_t skip = 0;
            if (at + 16 > size) {
                at = size - 16;
                skip = static_cast<std::uint32_t>(block - at);
            }
            const std::uint32_t mask = equalBytes(data + at, pattern) & ~((1u << skip) - 1);
            if (mask != 0) {
                return at + static_cast<std::size_t>(__builtin_ctz(mask));
            }
        }
        return size;
    }
#endif
    while (from < size && data[from] != byte) {
        ++from;
    }
    return from;
}

namespace {

bool isSegmentMark(char c) {
    return c == '-' || c == '_' || c == '/' || c == '.' || (c >= 'A' && c <= 'Z');
}

#if defined(__SSE2__)
std::uint32_t segmentMarks(__m128i block) {
    const __m128i separators = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('-')), _mm_cmpeq_epi8(block, _mm_set1_epi8('_'))),
        _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('/')), _mm_cmpeq_epi8(block, _mm_set1_epi8('.'))));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(separators, asciiUpperLanes(block))));
}
#endif

} // namespace

std::size_t findSegmentMark(std::string_view bytes, std::size_t from) {
    const char* data = bytes.data();
    const std::size_t size = bytes.size();
#if defined(__SSE2__)
    for (; from + 16 <= size; from += 16) {
        const std::uint32_t mask =
            segmentMarks(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from)));
        if (mask != 0) {
            return from + static_cast<std::size_t>(__builtin_ctz(mask));
        }
    }
#endif
    while (from < size && !isSegmentMark(data[from])) {
        ++from;
    }
    return from;
}

bool copySingleByteClusters(std::string_view text, bool lowerCase, char* out) {
    const char* data = text.data();
    const std::size_t size = text.size();
    std::size_t i = 0;
    bool carriageReturn = false;
#if defined(__SSE2__)
    const __m128i returnByte = _mm_set1_epi8('\r');
    __m128i seen = _mm_setzero_si128();
    __m128i returns = _mm_setzero_si128();
    const auto fold = [&](std::size_t at) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        seen = _mm_or_si128(seen, block);
        returns = _mm_or_si128(returns, _mm_cmpeq_epi8(block, returnByte));
        if (lowerCase) {
            block = asciiLowercased(block);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), block);
    };
    for (; i + 16 <= size; i += 16) {
        fold(i);
    }
    // Folding is idempotent, so the tail is one more block overlapping the last one.
    if (i < size && size >= 16) {
        fold(size - 16);
        i = size;
    }
    if (_mm_movemask_epi8(seen) != 0) {
        return false;
    }
    carriageReturn = _mm_movemask_epi8(returns) != 0;
#endif
    for (; i < size; ++i) {
        const char c = data[i];
        if (static_cast<unsigned char>(c) >= 128) {
            return false;
        }
        carriageReturn = carriageReturn || c == '\r';
        out[i] = lowerCase ? asciiLower(c) : c;
    }
    return !carriageReturn || text.find("\r\n") == std::string_view::npos;
}

} // namespace korvane::detail
