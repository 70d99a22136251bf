#include "base/graphemetext.h"

#include "base/asciiblockreader.h"
#include "base/codepointtable.h"
#include "base/unicode.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvane {
namespace {

// Creating a break iterator loads rule data, so each thread keeps one and only resets its text.
icu::BreakIterator* characterBreaks() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(created) : nullptr;
    }();
    return iterator.get();
}

bool isContinuationByte(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

#if defined(__SSE2__)
// One per continuation byte (0x80 to 0xBF, the signed bytes below -64) among the lanes of `keep`.
__m128i continuationOnes(const char* at, __m128i keep) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    return _mm_and_si128(_mm_cmplt_epi8(block, _mm_set1_epi8(-64)), keep);
}
#endif

template <class Word> Word loadWord(const char* at) {
    Word word = 0;
    std::memcpy(&word, at, sizeof(word));
    return word;
}

// The bytes of `word` that are 10xxxxxx, summed by a multiplication rather than a population count,
// which is a library call on the baseline instruction set.
template <class Word> std::size_t continuationBytesIn(Word word) {
    constexpr Word highBits = static_cast<Word>(0x8080808080808080ull);
    constexpr Word lowBytes = static_cast<Word>(0x0101010101010101ull);
    const Word marks = (word & ~(word << 1) & highBits) >> 7;
    return static_cast<std::size_t>(static_cast<Word>(marks * lowBytes) >> (8 * (sizeof(Word) - 1)));
}

// The same over `length` bytes, one to two words long, read as two words that overlap, with the
// overlap shifted out of the second. Little-endian only.
template <class Word> std::size_t continuationBytesInTwoWords(const char* bytes, std::size_t length) {
    const std::size_t rest = length - sizeof(Word);
    const std::size_t first = continuationBytesIn(loadWord<Word>(bytes));
    return rest == 0 ? first
                     : first + continuationBytesIn(static_cast<Word>(loadWord<Word>(bytes + rest) >>
                                                                     (8 * (sizeof(Word) - rest))));
}

// Counted sixteen bytes at a time with byte sums, or a word or two at a time for the short stretches
// most lookups count.
std::size_t countContinuationBytes(const char* bytes, std::size_t length) {
    std::size_t i = 0;
    std::size_t count = 0;
#if defined(__SSE2__)
    if (length >= 16) {
        const __m128i ones = _mm_set1_epi8(1);
        __m128i sums = _mm_setzero_si128();
        for (; i + 16 <= length; i += 16) {
            sums = _mm_add_epi64(sums, _mm_sad_epu8(continuationOnes(bytes + i, ones), _mm_setzero_si128()));
        }
        if (i < length) {
            // One more block ending at `length`, counting only the lanes past the blocks before it.
            alignas(16) static constexpr char tailLanes[32] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                               0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1,
                                                               1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
            const __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tailLanes + (length - i)));
            sums = _mm_add_epi64(
                sums, _mm_sad_epu8(continuationOnes(bytes + length - 16, keep), _mm_setzero_si128()));
        }
        return static_cast<std::size_t>(_mm_cvtsi128_si64(sums)) +
               static_cast<std::size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        if (length >= 8) {
            return continuationBytesInTwoWords<std::uint64_t>(bytes, length);
        }
        if (length >= 4) {
            return continuationBytesInTwoWords<std::uint32_t>(bytes, length);
        }
    }
    for (; i < length; ++i) {
        count += isContinuationByte(bytes[i]) ? 1u : 0u;
    }
    return count;
}

// Writes the ends of `count` one-byte clusters that follow `written` bytes.
void storeByteClusterEnds(std::uint8_t* ends, std::size_t written, [[maybe_unused]] std::size_t count) {
#if defined(__SSE2__)
    const __m128i steps = _mm_setr_epi8(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(ends),
                     _mm_add_epi8(_mm_set1_epi8(static_cast<char>(written)), steps));
#else
    for (std::size_t i = 0; i < count; ++i) {
        ends[i] = static_cast<std::uint8_t>(written + i + 1);
    }
#endif
}

void storeByteClusterEnds(std::uint32_t* ends, std::size_t written, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        ends[i] = static_cast<std::uint32_t>(written + i + 1);
    }
}

// The number of leading clusters that are one ASCII byte each, other than CR.
std::uint32_t countAsciiPrefix(std::string_view bytes, const std::vector<std::uint32_t>& ends) {
    std::uint32_t prefix = 0;
    while (prefix < ends.size() && ends[prefix] == prefix + 1 &&
           static_cast<unsigned char>(bytes[prefix]) < 0x80 && bytes[prefix] != '\r') {
        ++prefix;
    }
    return prefix;
}

} // namespace

std::optional<std::size_t> GraphemeText::clusterStartingAt(std::size_t offset) const {
    if (offset < asciiPrefix_) {
        return offset;
    }
    if (offset >= byteSize_) {
        return std::nullopt;
    }
    if (singleCodePoints_) {
        if (isContinuationByte(storage_[offset])) {
            return std::nullopt;
        }
        return offset - countContinuationBytes(storage_.data() + asciiPrefix_, offset - asciiPrefix_);
    }
    // The first cluster ending after `offset` is the one that holds it.
    std::size_t low = 0;
    std::size_t high = size_;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (endOffset(middle) <= offset) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return byteOffset(low) == offset ? std::optional<std::size_t>(low) : std::nullopt;
}

void GraphemeText::assign(std::string_view utf8) {
    if (!assignStandaloneCodePoints<false>(utf8)) {
        assignWithBreakIterator(utf8);
    }
}

void GraphemeText::assignLowercased(std::string_view utf8) {
    if (!assignStandaloneCodePoints<true>(utf8)) {
        assign(lowercased(utf8));
    }
}

template <class End> void GraphemeText::storeEnds(std::size_t byteSize, const End* ends, std::size_t count) {
    byteSize_ = static_cast<std::uint32_t>(byteSize);
    size_ = static_cast<std::uint32_t>(count);
    endsOffset_ = static_cast<std::uint32_t>(byteSize);
    const std::size_t width = byteSize < narrowLimit ? 1 : sizeof(std::uint32_t);
    storage_.resize(byteSize + width * count);
    char* out = storage_.data() + byteSize;
    for (std::size_t i = 0; i < count; ++i) {
        const auto end = static_cast<std::uint32_t>(ends[i]);
        if (width == 1) {
            out[i] = static_cast<char>(static_cast<std::uint8_t>(end));
        } else {
            std::memcpy(out + width * i, &end, width);
        }
    }
}

// Nearly every text, ASCII or accented Latin, Cyrillic, Greek, CJK in composed form, has one code
// point per cluster (or a CR LF pair); recognising that is far cheaper than running the break rules,
// and lower-casing in the same pass spares a second walk over the text.
template <bool lowerCase> bool GraphemeText::assignStandaloneCodePoints(std::string_view utf8) {
    const std::size_t size = utf8.size();
    // Lower-casing turns at most two bytes into three, and the block-wise and fixed-size copies
    // may write up to a block past what they keep. A text has at most one cluster per byte.
    const std::size_t maxBytes = lowerCase ? size + size / 2 : size;
    const std::size_t bytesRoom = maxBytes + AsciiBlockReader::blockSize;
    if (maxBytes < narrowLimit) {
        // The one-byte cluster ends of a short text, nearly every text, go straight to their place
        // behind the room for its bytes. The buffer only grows, so reusing it costs nothing.
        const std::size_t needed = bytesRoom + size + AsciiBlockReader::blockSize;
        if (storage_.size() < needed) {
            storage_.resize(needed);
        }
        auto* ends = reinterpret_cast<std::uint8_t*>(storage_.data() + bytesRoom);
        if (!scanStandaloneCodePoints<lowerCase>(utf8, ends)) {
            return false;
        }
        endsOffset_ = static_cast<std::uint32_t>(bytesRoom);
        return true;
    }
    thread_local std::vector<std::uint32_t> wideEnds;
    wideEnds.resize(size + AsciiBlockReader::blockSize);
    if (storage_.size() < bytesRoom) {
        storage_.resize(bytesRoom);
    }
    if (!scanStandaloneCodePoints<lowerCase>(utf8, wideEnds.data())) {
        return false;
    }
    storeEnds(byteSize_, wideEnds.data(), size_);
    return true;
}

template <bool lowerCase, class End>
bool GraphemeText::scanStandaloneCodePoints(std::string_view utf8, End* ends) {
    const auto* in = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const std::size_t size = utf8.size();
    char* out = storage_.data();
    const AsciiBlockReader blocks(utf8);
    std::size_t written = 0;
    std::size_t clusters = 0;
    bool lineBreakPair = false;
    std::optional<std::size_t> asciiPrefix;
    const CodePointTable& table = CodePointTable::shared();
    for (std::size_t offset = 0; offset < size;) {
        // What a block writes past the ASCII it takes stays within the room for the text and is
        // overwritten by what follows.
        if (const std::size_t ascii = blocks.template copyClusters<lowerCase>(offset, out + written);
            ascii > 0) {
            storeByteClusterEnds(ends + clusters, written, ascii);
            offset += ascii;
            written += ascii;
            clusters += ascii;
            continue;
        }
        const std::uint8_t lead = in[offset];
        if (!asciiPrefix) {
            asciiPrefix = clusters;
        }
        if (lead < 0x80) {
            if (lead == '\r' && offset + 1 < size && in[offset + 1] == '\n') {
                out[written++] = '\r';
                ++offset;
                lineBreakPair = true;
            }
            out[written++] = static_cast<char>(in[offset]);
            ++offset;
            ends[clusters++] = static_cast<End>(written);
            continue;
        }
        const std::size_t start = offset;
        const std::int32_t codePoint = nextCodePoint(utf8, offset);
        if (codePoint < 0) {
            return false;
        }
        const CodePointTable::Traits traits = table.traits(static_cast<char32_t>(codePoint));
        if constexpr (lowerCase) {
            if (!traits.lowersAlone) {
                return false;
            }
            std::memcpy(out + written, traits.lowerUtf8.data(), traits.lowerUtf8.size());
            written += traits.lowerUtf8Length;
        } else {
            if (!traits.standsAlone) {
                return false;
            }
            for (std::size_t i = start; i < offset; ++i) {
                out[written++] = static_cast<char>(in[i]);
            }
        }
        ends[clusters++] = static_cast<End>(written);
    }
    byteSize_ = static_cast<std::uint32_t>(written);
    size_ = static_cast<std::uint32_t>(clusters);
    singleCodePoints_ = !lineBreakPair;
    asciiPrefix_ = static_cast<std::uint32_t>(asciiPrefix.value_or(clusters));
    return true;
}

void GraphemeText::assignWithBreakIterator(std::string_view utf8) {
    const icu::UnicodeString source =
        icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<std::int32_t>(utf8.size())));
    storage_.clear();
    std::vector<std::uint32_t> ends;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    // Clusters of a text that is already in NFC are in NFC themselves, so the common case skips
    // normalising cluster by cluster.
    const bool alreadyNfc = U_FAILURE(status) || nfc->isNormalized(source, status);

    icu::BreakIterator* breaks = characterBreaks();
    if (breaks == nullptr) {
        // Without break rules, fall back to one code point per cluster rather than failing.
        for (std::int32_t start = 0; start < source.length(); start = source.moveIndex32(start, 1)) {
            source.tempSubStringBetween(start, source.moveIndex32(start, 1)).toUTF8String(storage_);
            ends.push_back(static_cast<std::uint32_t>(storage_.size()));
        }
        storeEnds(storage_.size(), ends.data(), ends.size());
        singleCodePoints_ = true;
        asciiPrefix_ = countAsciiPrefix(storage_, ends);
        return;
    }
    breaks->setText(source);
    std::int32_t start = breaks->first();
    for (std::int32_t end = breaks->next(); end != icu::BreakIterator::DONE;
         start = end, end = breaks->next()) {
        icu::UnicodeString cluster = source.tempSubStringBetween(start, end);
        if (!alreadyNfc) {
            UErrorCode clusterStatus = U_ZERO_ERROR;
            icu::UnicodeString normalized = nfc->normalize(cluster, clusterStatus);
            if (U_SUCCESS(clusterStatus)) {
                cluster = normalized;
            }
        }
        cluster.toUTF8String(storage_);
        ends.push_back(static_cast<std::uint32_t>(storage_.size()));
    }
    storeEnds(storage_.size(), ends.data(), ends.size());
    singleCodePoints_ = byteSize_ - countContinuationBytes(storage_.data(), byteSize_) == size_;
    asciiPrefix_ = countAsciiPrefix(storage_, ends);
}

} // namespace korvane
