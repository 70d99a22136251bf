#include "files/pathlist.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <numeric>
#include <sys/mman.h>

namespace korvane {
namespace {

// Lists this large are mapped in pages of their own, so that freeing them hands the memory back at
// once and the system may back them with large pages (fewer faults while the list is written).
constexpr std::size_t mappedFrom = std::size_t{4} << 20;

// What each byte contributes: its group bit (of the lower-cased byte) and its lower-cased value.
struct ByteTables {
    std::array<std::uint64_t, 256> group{};
    std::array<char, 256> lower{};
};

constexpr ByteTables makeTables() {
    ByteTables tables;
    for (unsigned c = 0; c < 256; ++c) {
        const bool isUpper = c >= 'A' && c <= 'Z';
        const unsigned folded = isUpper ? c + ('a' - 'A') : c;
        tables.group[c] = std::uint64_t{1} << (folded & 63);
        tables.lower[c] = static_cast<char>(folded);
    }
    return tables;
}

constexpr ByteTables tables = makeTables();

// What the bytes of a path hold: their groups, whether any is an upper-case letter and whether any
// is outside ASCII.
struct ByteSummary {
    std::uint64_t groups = 0;
    bool upper = false;
    bool high = false;
};

// Four independent accumulators keep the table look-ups from waiting on one another; left to
// itself the compiler turns this loop into slow vector code that spills, so it is kept scalar.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-vectorize")))
#endif
std::uint64_t
groupsOfUnrolled(const unsigned char* bytes, std::size_t length) {
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    std::uint64_t c = 0;
    std::uint64_t d = 0;
    std::size_t k = 0;
    for (; k + 4 <= length; k += 4) {
        a |= tables.group[bytes[k]];
        b |= tables.group[bytes[k + 1]];
        c |= tables.group[bytes[k + 2]];
        d |= tables.group[bytes[k + 3]];
    }
    for (; k < length; ++k) {
        a |= tables.group[bytes[k]];
    }
    return a | b | c | d;
}

ByteSummary summarize(std::string_view path) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(path.data());
    const std::size_t length = path.size();
    // Byte-wide operations only, which vectorise well.
    unsigned char upper = 0;
    unsigned char high = 0;
    for (std::size_t k = 0; k < length; ++k) {
        upper |= static_cast<unsigned char>(static_cast<unsigned char>(bytes[k] - 'A') < 26);
        high |= bytes[k];
    }
    return {groupsOfUnrolled(bytes, length), upper != 0, high >= 0x80};
}

// The places of the non-empty lines of a text, one at a time.
class LineReader {
public:
    explicit LineReader(std::string_view text)
        : text_(text) {}
    bool next(std::string_view& line) {
        while (position_ < text_.size()) {
            const char* start = text_.data() + position_;
            const void* end = std::memchr(start, '\n', text_.size() - position_);
            const std::size_t length =
                end ? static_cast<std::size_t>(static_cast<const char*>(end) - start) : text_.size() - position_;
            position_ += length + 1;
            if (length > 0) {
                line = std::string_view(start, length);
                return true;
            }
        }
        return false;
    }

private:
    std::string_view text_;
    std::size_t position_ = 0;
};

} // namespace

void PathList::Release::operator()(char* bytes) const {
    if (size > 0) {
        ::munmap(bytes, size);
    } else {
        delete[] bytes;
    }
}

PathList::PathList()
    : offsets_(1, 0) {}

PathList::PathList(const std::vector<std::string>& paths, std::string_view locale)
    : locale_(locale) {
    std::size_t total = 0;
    for (const auto& path : paths) {
        total += path.size();
    }
    build(paths.size(), total, [&, i = std::size_t{0}]() mutable { return std::string_view(paths[i++]); });
}

PathList::PathList(const std::vector<std::string_view>& paths, std::string_view locale)
    : locale_(locale) {
    std::size_t total = 0;
    for (const auto path : paths) {
        total += path.size();
    }
    build(paths.size(), total, [&, i = std::size_t{0}]() mutable { return paths[i++]; });
}

std::shared_ptr<const PathList> PathList::fromLines(std::string_view text, std::string_view locale) {
    auto list = std::make_shared<PathList>(std::vector<std::string_view>{}, locale);
    std::size_t count = 0;
    std::size_t total = 0;
    LineReader counting(text);
    for (std::string_view line; counting.next(line);) {
        ++count;
        total += line.size();
    }
    LineReader reading(text);
    list->build(count, total, [&] {
        std::string_view line;
        reading.next(line);
        return line;
    });
    return list;
}

void PathList::allocateArrays(std::size_t count) {
    offsets_.resize(count + 1);
    groups_.resize(count);
    stemGroups_.resize(count);
    nameStart_.resize(count);
    stemLength_.resize(count);
    flags_.resize(count);
}

void PathList::allocate(std::size_t count, std::size_t totalBytes) {
    allocateArrays(count);
    // Room for every path and a lower-cased copy of each.
    const std::size_t room = 2 * totalBytes + 1;
    if (room >= mappedFrom) {
        void* mapped = ::mmap(nullptr, room, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped != MAP_FAILED) {
            ::madvise(mapped, room, MADV_HUGEPAGE);
            bytes_ = std::unique_ptr<char[], Release>(static_cast<char*>(mapped), Release{room});
            return;
        }
    }
    bytes_ = std::unique_ptr<char[], Release>(new char[room], Release{0});
}

template <class Next> void PathList::build(std::size_t count, std::size_t totalBytes, Next next) {
    allocate(count, totalBytes);
    char* out = bytes_.get();
    std::string_view previous;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view path = next();
        sorted_ = sorted_ && !(path < previous);
        add(i, path, out);
        previous = path;
    }
    byteCount_ = static_cast<std::size_t>(out - bytes_.get());
    offsets_[count] = static_cast<std::uint32_t>(byteCount_);
    text_ = bytes_.get();
    lowerText_ = bytes_.get();
}

template <class Next>
void PathList::buildOver(std::size_t count, const char* text, std::size_t textBytes, Next next) {
    allocateArrays(count);
    // The lower-cased forms, one after another, in room for all of them; left uninitialised, it
    // costs only the pages they reach.
    lowerOffsets_.resize(count);
    const std::size_t room = textBytes + 1;
    void* mapped = room < mappedFrom ? MAP_FAILED
                                     : ::mmap(nullptr, room, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped != MAP_FAILED) {
        ::madvise(mapped, room, MADV_HUGEPAGE);
        lowerBytes_ = std::unique_ptr<char[], Release>(static_cast<char*>(mapped), Release{room});
    } else {
        lowerBytes_ = std::unique_ptr<char[], Release>(new char[room], Release{0});
    }
    char* lower = lowerBytes_.get();
    std::string_view previous;
    std::size_t end = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view path = next();
        sorted_ = sorted_ && !(path < previous);
        const auto offset = static_cast<std::size_t>(path.data() - text);
        offsets_[i] = static_cast<std::uint32_t>(offset);
        lowerOffsets_[i] = static_cast<std::uint32_t>(byteCount_);
        if (prepare(i, path, lower + byteCount_)) {
            byteCount_ += path.size();
        }
        previous = path;
        end = offset + path.size();
    }
    offsets_[count] = static_cast<std::uint32_t>(end + 1);
    text_ = text;
    lowerText_ = lower;
    separator_ = 1;
    halveUpper_ = 0;
}

void PathList::add(std::size_t i, std::string_view path, char*& out) {
    offsets_[i] = static_cast<std::uint32_t>(out - bytes_.get());
    std::memcpy(out, path.data(), path.size());
    out += prepare(i, path, out + path.size()) ? 2 * path.size() : path.size();
}

bool PathList::prepare(std::size_t i, std::string_view path, char* lowered) {
    const std::size_t length = path.size();
    const auto* bytes = reinterpret_cast<const unsigned char*>(path.data());
    const ByteSummary summary = summarize(path);
    const std::uint64_t groups = summary.groups;
    const bool upper = summary.upper;
    const void* slash = length > 0 ? ::memrchr(path.data(), '/', length) : nullptr;
    const std::size_t nameStart = slash ? static_cast<std::size_t>(static_cast<const char*>(slash) - path.data()) + 1 : 0;
    nameStart_[i] = static_cast<std::uint32_t>(nameStart);
    // A carriage return is the only ASCII byte in group 13 once letters are lower-cased.
    const bool singleByte = !summary.high && ((groups & (std::uint64_t{1} << 13)) == 0 ||
                                            path.find("\r\n") == std::string_view::npos);
    if (!singleByte) {
        groups_[i] = ~std::uint64_t{0};
        stemGroups_[i] = 0;
        stemLength_[i] = 0;
        flags_[i] = 0;
        return false;
    }
    groups_[i] = groups;
    std::uint8_t flags = singleByteFlag;
    const char* lower = path.data();
    if (upper) {
        for (std::size_t k = 0; k < length; ++k) {
            lowered[k] = tables.lower[bytes[k]];
        }
        lower = lowered;
        flags |= upperCaseFlag;
    }
    const std::string_view name(lower + nameStart, length - nameStart);
    const std::size_t dot = name.rfind('.');
    const std::string_view stem = (dot != std::string_view::npos && dot > 0) ? name.substr(0, dot) : name;
    stemGroups_[i] = groupsOfUnrolled(reinterpret_cast<const unsigned char*>(stem.data()), stem.size());
    stemLength_[i] = static_cast<std::uint32_t>(stem.size());
    flags_[i] = flags;
    return upper;
}

std::shared_ptr<const PathList> PathList::overLines(std::string_view text, std::shared_ptr<const void> keeper,
                                                    std::string_view locale) {
    // A text without empty lines (none first, no two separators in a row) holds one path per
    // separator, and each path's length is the distance to the next one less its separator; an
    // empty line would be taken for part of a path, so such a text is copied instead. Counting the
    // separators is one vectorised pass rather than a search per line.
    std::size_t separators = 0;
    unsigned char adjacent = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t k = 0; k + 1 < text.size(); ++k) {
        const unsigned char here = bytes[k] == '\n' ? 1 : 0;
        separators += here;
        adjacent |= static_cast<unsigned char>(here & (bytes[k + 1] == '\n' ? 1 : 0));
    }
    // Every separator but a last one ends a path; so does the end of the text.
    const std::size_t count = separators + (text.empty() ? 0 : 1);
    const bool gapless = text.size() < std::numeric_limits<std::uint32_t>::max() && !text.starts_with('\n') &&
                         adjacent == 0;
    if (!gapless) {
        return fromLines(text, locale);
    }
    auto list = std::make_shared<PathList>(std::vector<std::string_view>{}, locale);
    LineReader reading(text);
    list->buildOver(count, text.data(), text.size(), [&] {
        std::string_view line;
        reading.next(line);
        return line;
    });
    list->keeper_ = std::move(keeper);
    return list;
}

std::vector<std::uint32_t> PathList::find(std::string_view path) const {
    if (!sorted_) {
        std::call_once(ordered_, [this] {
            byteOrder_.resize(size());
            std::iota(byteOrder_.begin(), byteOrder_.end(), 0u);
            std::stable_sort(byteOrder_.begin(), byteOrder_.end(),
                             [this](std::uint32_t a, std::uint32_t b) { return (*this)[a] < (*this)[b]; });
        });
    }
    const auto at = [this](std::size_t k) { return sorted_ ? static_cast<std::uint32_t>(k) : byteOrder_[k]; };
    std::size_t low = 0;
    std::size_t high = size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        const std::string_view probe = (*this)[at(middle)];
        if (probe < path) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    std::vector<std::uint32_t> found;
    for (; low < size() && (*this)[at(low)] == path; ++low) {
        found.push_back(at(low));
    }
    // The byte order is stable, so equal paths already stand in list order.
    return found;
}

bool PathList::contains(std::string_view path) const {
    return !find(path).empty();
}

std::vector<std::string> PathList::toVector() const {
    std::vector<std::string> paths;
    paths.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) {
        paths.emplace_back((*this)[i]);
    }
    return paths;
}

std::size_t PathList::memoryBytes() const {
    return sizeof(*this) + byteCount_ + offsets_.capacity() * sizeof(std::uint32_t) +
           groups_.capacity() * sizeof(std::uint64_t) + stemGroups_.capacity() * sizeof(std::uint64_t) +
           nameStart_.capacity() * sizeof(std::uint32_t) + stemLength_.capacity() * sizeof(std::uint32_t) +
           flags_.capacity() + byteOrder_.capacity() * sizeof(std::uint32_t) +
           lowerOffsets_.capacity() * sizeof(std::uint32_t);
}

} // namespace korvane
