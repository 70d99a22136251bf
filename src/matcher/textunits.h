#pragma once

#include "base/graphemetext.h"
#include "base/unicode.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string_view>

// Building blocks that let one matching algorithm run over bytes (std::string_view, one byte per
// position) and over grapheme clusters (GraphemeText), and over a mix of the two, without copying.
namespace korvane::detail {

inline bool unitEquals(char a, char b) {
    return a == b;
}
// Clusters are nearly always told apart by their first byte, and most are one or two bytes long, whose
// first and last bytes settle it without the call to compare the rest.
inline bool unitEquals(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           (a.empty() || (a.front() == b.front() && a.back() == b.back() && (a.size() <= 2 || a == b)));
}
inline bool unitEquals(char a, std::string_view b) {
    return b.size() == 1 && b.front() == a;
}
inline bool unitEquals(std::string_view a, char b) {
    return a.size() == 1 && a.front() == b;
}

inline bool unitIs(char unit, char ascii) {
    return unit == ascii;
}
inline bool unitIs(std::string_view unit, char ascii) {
    return unit.size() == 1 && unit.front() == ascii;
}

inline CharacterCase unitCase(char unit) {
    return isAsciiUpper(unit)   ? CharacterCase::upper
           : isAsciiLower(unit) ? CharacterCase::lower
                                : CharacterCase::uncased;
}
inline CharacterCase unitCase(std::string_view unit) {
    return characterCase(unit);
}

// A window [offset, offset + length) of a sequence of units, itself indexable like one.
template <class Units> struct Slice {
    const Units* units = nullptr;
    std::size_t offset = 0;
    std::size_t length = 0;

    std::size_t size() const { return length; }
    decltype(auto) operator[](std::size_t index) const { return (*units)[offset + index]; }
};

template <class Units> Slice<Units> sliceOf(const Units& units, std::size_t offset, std::size_t length) {
    return Slice<Units>{&units, offset, length};
}

// A window of a window is a window of the units themselves, which keeps lookups to one level.
template <class Units>
Slice<Units> sliceOf(const Slice<Units>& slice, std::size_t offset, std::size_t length) {
    return Slice<Units>{slice.units, slice.offset + offset, length};
}

inline std::string_view sliceOf(std::string_view bytes, std::size_t offset, std::size_t length) {
    return bytes.substr(offset, length);
}

// The units as one contiguous byte string, where each unit begins in it, and the unit that begins at
// a byte offset of it: both bytes and clusters are stored contiguously, so searches can run on bytes
// and map hits back.
inline std::string_view unitBytes(std::string_view bytes) {
    return bytes;
}
inline std::string_view unitBytes(const GraphemeText& clusters) {
    return clusters.bytes();
}
inline std::string_view unitAsBytes(const char& unit) {
    return std::string_view(&unit, 1);
}
inline std::string_view unitAsBytes(std::string_view unit) {
    return unit;
}
inline std::size_t unitByteOffset(std::string_view, std::size_t index) {
    return index;
}
inline std::size_t unitByteOffset(const GraphemeText& clusters, std::size_t index) {
    return clusters.byteOffset(index);
}
inline std::optional<std::size_t> unitStartingAt(std::string_view, std::size_t offset) {
    return offset;
}
inline std::optional<std::size_t> unitStartingAt(const GraphemeText& clusters, std::size_t offset) {
    return clusters.clusterStartingAt(offset);
}

// The position of the last unit equal to `ascii` in [0, end), if any.
inline std::optional<std::size_t> lastIndexOf(const GraphemeText& clusters, char ascii, std::size_t end) {
    const std::string_view bytes = clusters.bytes();
    for (std::size_t searchEnd = clusters.byteOffset(end); searchEnd > 0;) {
        const void* found = ::memrchr(bytes.data(), ascii, searchEnd);
        if (found == nullptr) {
            break;
        }
        const auto at = static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
        // The byte may be the start of a larger cluster, such as a slash with a combining mark.
        if (const auto index = clusters.clusterStartingAt(at);
            index && (clusters.singleCodePointClusters() || clusters[*index].size() == 1)) {
            return index;
        }
        searchEnd = at;
    }
    return std::nullopt;
}

inline std::optional<std::size_t> lastIndexOf(std::string_view bytes, char ascii, std::size_t end) {
    // memrchr scans many bytes per step, where a reverse find goes byte by byte.
    const void* found = end == 0 ? nullptr : ::memrchr(bytes.data(), ascii, std::min(end, bytes.size()));
    if (found == nullptr) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
}

inline std::optional<std::size_t> lastIndexOf(const Slice<GraphemeText>& slice, char ascii, std::size_t end) {
    const auto index = lastIndexOf(*slice.units, ascii, slice.offset + end);
    if (!index || *index < slice.offset) {
        return std::nullopt;
    }
    return *index - slice.offset;
}

template <class Units>
std::optional<std::size_t> lastIndexOf(const Units& units, char ascii, std::size_t end) {
    for (std::size_t i = end; i > 0; --i) {
        if (unitIs(units[i - 1], ascii)) {
            return i - 1;
        }
    }
    return std::nullopt;
}

// Calls `visit` with `text` as bytes when every byte is one cluster, else with its clusters.
template <class Visit> decltype(auto) visitUnits(std::string_view text, Visit&& visit) {
    if (isSingleByteClusters(text)) {
        return visit(text);
    }
    return visit(GraphemeText(text));
}

} // namespace korvane::detail
