#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// A text split into extended grapheme clusters, each stored in Normalization Form C, so that two
// clusters compare equal exactly when they are canonically equivalent. The clusters share one byte
// buffer. Plain value: threads may read one concurrently; writing needs exclusive access.
class GraphemeText {
public:
    GraphemeText() = default;
    explicit GraphemeText(std::string_view utf8) { assign(utf8); }

    // Replaces the content with the clusters of `utf8`, reusing the storage.
    void assign(std::string_view utf8);

    // Replaces the content with the clusters of the full lower-case form of `utf8`: the same as
    // assign(lowercased(utf8)), in a single pass for text whose code points each stand alone.
    void assignLowercased(std::string_view utf8);

    std::size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }

    // The NFC bytes of cluster `index`.
    std::string_view operator[](std::size_t index) const {
        const std::uint32_t begin = index == 0 ? 0 : ends_[index - 1];
        return std::string_view(bytes_).substr(begin, ends_[index] - begin);
    }

    // All clusters joined: the NFC form of the whole text.
    const std::string& bytes() const { return bytes_; }

    // The offset in bytes() at which cluster `index` begins; size() gives the end of the text.
    std::size_t byteOffset(std::size_t index) const { return index == 0 ? 0 : ends_[index - 1]; }

    // The index of the cluster that begins at byte `offset`, or nothing when a cluster spans it.
    // Constant time, without reading the cluster ends, when every cluster is one code point.
    std::optional<std::size_t> clusterStartingAt(std::size_t offset) const;

    // Whether every cluster is a single code point, so that each byte that begins a code point
    // begins a cluster.
    bool singleCodePointClusters() const { return singleCodePoints_; }

    bool operator==(const GraphemeText& other) const {
        return ends_ == other.ends_ && bytes_ == other.bytes_;
    }

private:
    template <bool lowerCase> bool assignStandaloneCodePoints(std::string_view utf8);
    void assignWithBreakIterator(std::string_view utf8);

    std::string bytes_;
    std::vector<std::uint32_t> ends_;
    bool singleCodePoints_ = true;
};

} // namespace korvane
