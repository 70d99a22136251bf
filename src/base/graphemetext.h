#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// A text split into extended grapheme clusters, each stored in Normalization Form C, so that two
// clusters compare equal exactly when they are canonically equivalent. The clusters share one byte
// buffer with their offsets. Plain value: threads may read one concurrently; writing needs exclusive
// access.
class GraphemeText {
public:
    GraphemeText() = default;
    explicit GraphemeText(std::string_view utf8) { assign(utf8); }

    // Replaces the content with the clusters of `utf8`, reusing the storage.
    void assign(std::string_view utf8);

    // Replaces the content with the clusters of the full lower-case form of `utf8`: the same as
    // assign(lowercased(utf8)), in a single pass for text whose code points each stand alone.
    void assignLowercased(std::string_view utf8);

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // The NFC bytes of cluster `index`.
    std::string_view operator[](std::size_t index) const {
        if (index < asciiPrefix_) {
            return std::string_view(storage_.data() + index, 1);
        }
        const std::size_t begin = index == 0 ? 0 : endOffset(index - 1);
        return std::string_view(storage_.data() + begin, endOffset(index) - begin);
    }

    // All clusters joined: the NFC form of the whole text.
    std::string_view bytes() const { return std::string_view(storage_.data(), byteSize_); }

    // The offset in bytes() at which cluster `index` begins; size() gives the end of the text.
    std::size_t byteOffset(std::size_t index) const {
        return index <= asciiPrefix_ ? index : index == size_ ? byteSize_ : endOffset(index - 1);
    }

    // The index of the cluster that begins at byte `offset`, or nothing when a cluster spans it.
    // Constant time within the leading ASCII and without reading the cluster ends when every cluster
    // is one code point.
    std::optional<std::size_t> clusterStartingAt(std::size_t offset) const;

    // Whether every cluster is a single code point, so that each byte that begins a code point
    // begins a cluster.
    bool singleCodePointClusters() const { return singleCodePoints_; }

    bool operator==(const GraphemeText& other) const {
        return size_ == other.size_ && bytes() == other.bytes() && ends() == other.ends();
    }

private:
    // Cluster ends take one byte each in a text shorter than this, four otherwise.
    static constexpr std::size_t narrowLimit = 256;

    // The offset in bytes() at which cluster `index` ends.
    std::size_t endOffset(std::size_t index) const {
        const char* ends = storage_.data() + endsOffset_;
        if (byteSize_ < narrowLimit) {
            return static_cast<unsigned char>(ends[index]);
        }
        std::uint32_t end = 0;
        std::memcpy(&end, ends + sizeof(end) * index, sizeof(end));
        return end;
    }

    // The stored cluster ends, for comparing texts.
    std::string_view ends() const {
        return std::string_view(storage_.data() + endsOffset_,
                                byteSize_ < narrowLimit ? size_ : sizeof(std::uint32_t) * size_);
    }

    template <bool lowerCase> bool assignStandaloneCodePoints(std::string_view utf8);
    template <bool lowerCase, class End> bool scanStandaloneCodePoints(std::string_view utf8, End* ends);
    void assignWithBreakIterator(std::string_view utf8);
    // Stores the cluster ends after the bytes, which fill storage_ up to `byteSize`.
    template <class End> void storeEnds(std::size_t byteSize, const End* ends, std::size_t count);

    // The NFC bytes and, from `endsOffset_`, the end offset of each cluster, so that a matcher
    // reading a text finds both in one block of memory, most texts in a few cache lines. Whatever
    // lies between and after them is scratch left by earlier texts.
    std::string storage_;
    std::uint32_t byteSize_ = 0;
    std::uint32_t endsOffset_ = 0;
    std::uint32_t size_ = 0;
    // The leading bytes that are each an ASCII cluster of their own, where byte offsets and cluster
    // indices agree: the directories of most paths.
    std::uint32_t asciiPrefix_ = 0;
    bool singleCodePoints_ = true;
};

} // namespace korvane
