#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// A project's relative file paths in the order they were listed, stored compactly and prepared once
// for ranking: one buffer holds every path (and, for a path with upper-case letters, its lower-cased
// copy right after it), with per-path offsets, the character groups that let a ranking turn a path
// away without matching it, and where its file name begins. Immutable once made (the byte order for
// `contains` is worked out on first need, under a once-flag) and shared between threads.
class PathList {
public:
    // Flags of a path.
    static constexpr std::uint8_t singleByteFlag = 1; // every character is one ASCII byte
    static constexpr std::uint8_t upperCaseFlag = 2;  // the lower-cased copy differs from the path

    PathList();
    // `locale` names the collation that orders ties (empty: the user's locale).
    explicit PathList(const std::vector<std::string>& paths, std::string_view locale = {});
    explicit PathList(const std::vector<std::string_view>& paths, std::string_view locale = {});
    // The non-empty lines of `text` ("\n" ends a line), as they come.
    static std::shared_ptr<const PathList> fromLines(std::string_view text, std::string_view locale = {});
    // The same over `text` in place, without copying it: `keeper` holds the text for as long as the
    // list lives. Only the lower-cased forms of paths with capitals are copied. A text with empty
    // lines is copied as fromLines does.
    static std::shared_ptr<const PathList> overLines(std::string_view text, std::shared_ptr<const void> keeper,
                                                     std::string_view locale = {});
    PathList(const PathList&) = delete;
    PathList& operator=(const PathList&) = delete;

    const std::string& locale() const { return locale_; }

    std::size_t size() const { return flags_.size(); }
    bool empty() const { return flags_.empty(); }

    std::string_view operator[](std::size_t i) const {
        return std::string_view(text_ + offsets_[i], typedLength(i));
    }
    // The path with ASCII letters lower-cased; for a path that is not single-byte, the path itself.
    std::string_view lowered(std::size_t i) const {
        const std::size_t length = typedLength(i);
        if ((flags_[i] & upperCaseFlag) == 0) {
            return std::string_view(text_ + offsets_[i], length);
        }
        const std::size_t start = lowerOffsets_.empty() ? offsets_[i] + length : lowerOffsets_[i];
        return std::string_view(lowerText_ + start, length);
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

    // Whether the list holds `path`: a binary search in byte order (a listing that came sorted needs
    // no more; otherwise the order is made on the first call).
    bool contains(std::string_view path) const;
    // The places of `path` in the list (a listing may hold a path more than once), in list order.
    std::vector<std::uint32_t> find(std::string_view path) const;
    std::vector<std::string> toVector() const;

    // Bytes held for the paths and everything prepared for them.
    std::size_t memoryBytes() const;

private:
    // Unmaps a mapped buffer (`size` bytes) or deletes an allocated one (size 0).
    struct Release {
        std::size_t size;
        void operator()(char* bytes) const;
    };

    template <class Next> void build(std::size_t count, std::size_t totalBytes, Next next);
    void allocate(std::size_t count, std::size_t totalBytes);
    template <class Next> void buildOver(std::size_t count, const char* text, std::size_t textBytes, Next next);
    void allocateArrays(std::size_t count);
    void add(std::size_t i, std::string_view path, char*& out);
    // Fills in everything but the bytes for path i, whose lower-cased form (when it differs) is
    // written to `lowered`; whether it did.
    bool prepare(std::size_t i, std::string_view path, char* lowered);
    std::size_t typedLength(std::size_t i) const {
        const std::size_t stored = offsets_[i + 1] - offsets_[i] - separator_;
        return (flags_[i] & upperCaseFlag) ? stored >> halveUpper_ : stored;
    }

    // Allocated for the most the paths could need and left uninitialised: pages that no path reaches
    // are never touched, so they cost no memory.
    std::unique_ptr<char[], Release> bytes_{nullptr, Release{0}};
    std::size_t byteCount_ = 0;
    // Where the paths are read: the list's own buffer, where a lower-cased form follows its path, or
    // a text held by `keeper_` whose lines are the paths (then one separator byte follows each path,
    // and the lower-cased forms stand in `lowerBytes_` at `lowerOffsets_`).
    const char* text_ = nullptr;
    const char* lowerText_ = nullptr;
    std::shared_ptr<const void> keeper_;
    std::unique_ptr<char[], Release> lowerBytes_{nullptr, Release{0}};
    std::uint32_t separator_ = 0;
    std::uint32_t halveUpper_ = 1;
    std::vector<std::uint32_t> lowerOffsets_;
    std::vector<std::uint32_t> offsets_;
    std::vector<std::uint64_t> groups_;
    std::vector<std::uint64_t> stemGroups_;
    std::vector<std::uint32_t> nameStart_;
    std::vector<std::uint32_t> stemLength_;
    std::vector<std::uint8_t> flags_;
    std::string locale_;
    bool sorted_ = true;
    mutable std::once_flag ordered_;
    mutable std::vector<std::uint32_t> byteOrder_;
};

} // namespace korvane
