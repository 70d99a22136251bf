#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// A project's relative file paths, sorted ascending by bytes, stored compactly and prepared once for
// ranking: one buffer holds every path (and, for a path with upper-case letters, its lower-cased copy
// right after it), with per-path offsets, the character groups that let a ranking turn a path away
// without matching it, where its file name begins, and, once prepared, its rank in the localized
// case-insensitive order. Immutable once prepared and shared between threads.
class PathList {
public:
    // Flags of a path.
    static constexpr std::uint8_t singleByteFlag = 1; // every character is one ASCII byte
    static constexpr std::uint8_t upperCaseFlag = 2;  // the lower-cased copy differs from the path

    PathList() = default;
    // `sortedPaths` must be sorted ascending by bytes. `locale` names the collation (empty: the
    // user's locale).
    explicit PathList(const std::vector<std::string>& sortedPaths, std::string_view locale = {});
    explicit PathList(const std::vector<std::string_view>& sortedPaths, std::string_view locale = {});

    // Ranks every path in the localized order, so that rankings break ties by comparing two integers
    // (about a microsecond per path; the provider does it while building in the background). Call
    // before the list is shared.
    void prepareCollationRanks();
    bool hasCollationRanks() const { return !collationRank_.empty(); }
    const std::string& locale() const { return locale_; }

    std::size_t size() const { return flags_.size(); }
    bool empty() const { return flags_.empty(); }

    std::string_view operator[](std::size_t i) const {
        return std::string_view(bytes_.get() + offsets_[i], typedLength(i));
    }
    // The path with ASCII letters lower-cased; for a path that is not single-byte, the path itself.
    std::string_view lowered(std::size_t i) const {
        const std::size_t length = typedLength(i);
        const std::size_t start = offsets_[i] + ((flags_[i] & upperCaseFlag) ? length : 0);
        return std::string_view(bytes_.get() + start, length);
    }
    std::uint8_t flags(std::size_t i) const { return flags_[i]; }
    bool isSingleByte(std::size_t i) const { return (flags_[i] & singleByteFlag) != 0; }
    // Byte offset of the file name (after the last "/").
    std::uint32_t nameStart(std::size_t i) const { return nameStart_[i]; }
    // The groups (bit byte & 63) of every byte of the lower-cased path; all bits for a path that is
    // not single-byte.
    std::uint64_t groups(std::size_t i) const { return groups_[i]; }
    // The groups of the lower-cased stem of the file name (the name without its extension) and its
    // length, for single-byte paths: what a mistyped query is compared with.
    std::uint64_t stemGroups(std::size_t i) const { return stemGroups_[i]; }
    std::uint32_t stemLength(std::size_t i) const { return stemLength_[i]; }
    // Position in the localized case-insensitive order; paths that compare equal share a rank. Only
    // once prepared.
    std::uint32_t collationRank(std::size_t i) const { return collationRank_[i]; }

    // Binary search with the byte order the list is sorted in.
    bool contains(std::string_view path) const;
    std::vector<std::string> toVector() const;

    // Bytes held for the paths and everything prepared for them.
    std::size_t memoryBytes() const;

private:
    std::size_t typedLength(std::size_t i) const {
        const std::size_t stored = offsets_[i + 1] - offsets_[i];
        return (flags_[i] & upperCaseFlag) ? stored / 2 : stored;
    }

    // Allocated for the most the paths could need and left uninitialised: pages that no path reaches
    // are never touched, so they cost no memory.
    std::unique_ptr<char[]> bytes_;
    std::size_t byteCount_ = 0;
    std::vector<std::uint32_t> offsets_;
    std::vector<std::uint64_t> groups_;
    std::vector<std::uint64_t> stemGroups_;
    std::vector<std::uint32_t> nameStart_;
    std::vector<std::uint32_t> stemLength_;
    std::vector<std::uint32_t> collationRank_;
    std::vector<std::uint8_t> flags_;
    std::string locale_;
};

} // namespace korvane
