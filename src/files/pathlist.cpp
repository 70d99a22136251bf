#include "files/pathlist.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <sys/mman.h>

namespace korvane {
namespace {

// Lists this large are mapped in pages of their own, so that freeing them hands the memory back at
// once and the system may back them with large pages (fewer faults while the list is written).
constexpr std::size_t mappedFrom = std::size_t{4} << 20;

// What each byte contributes: its group bit (of the lower-cased byte), whether it is an upper-case
// letter, and its lower-cased value.
struct ByteTables {
    std::array<std::uint64_t, 256> group{};
    std::array<std::uint8_t, 256> upper{};
    std::array<char, 256> lower{};
};

constexpr ByteTables makeTables() {
    ByteTables tables;
    for (unsigned c = 0; c < 256; ++c) {
        const bool isUpper = c >= 'A' && c <= 'Z';
        const unsigned folded = isUpper ? c + ('a' - 'A') : c;
        tables.group[c] = std::uint64_t{1} << (folded & 63);
        tables.upper[c] = isUpper ? 1 : 0;
        tables.lower[c] = static_cast<char>(folded);
    }
    return tables;
}

constexpr ByteTables tables = makeTables();

std::uint64_t groupsOf(std::string_view bytes) {
    std::uint64_t groups = 0;
    for (const char c : bytes) {
        groups |= tables.group[static_cast<unsigned char>(c)];
    }
    return groups;
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

void PathList::allocate(std::size_t count, std::size_t totalBytes) {
    offsets_.resize(count + 1);
    groups_.resize(count);
    stemGroups_.resize(count);
    nameStart_.resize(count);
    stemLength_.resize(count);
    flags_.resize(count);
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
}

void PathList::add(std::size_t i, std::string_view path, char*& out) {
    const std::size_t length = path.size();
    offsets_[i] = static_cast<std::uint32_t>(out - bytes_.get());
    std::memcpy(out, path.data(), length);
    const auto* bytes = reinterpret_cast<const unsigned char*>(path.data());
    std::uint64_t groups = 0;
    unsigned upper = 0;
    unsigned high = 0;
    for (std::size_t k = 0; k < length; ++k) {
        const unsigned c = bytes[k];
        groups |= tables.group[c];
        upper |= tables.upper[c];
        high |= c;
    }
    const void* slash = length > 0 ? ::memrchr(path.data(), '/', length) : nullptr;
    const std::size_t nameStart = slash ? static_cast<std::size_t>(static_cast<const char*>(slash) - path.data()) + 1 : 0;
    nameStart_[i] = static_cast<std::uint32_t>(nameStart);
    // A carriage return is the only ASCII byte in group 13 once letters are lower-cased.
    const bool singleByte = high < 0x80 && ((groups & (std::uint64_t{1} << 13)) == 0 ||
                                            path.find("\r\n") == std::string_view::npos);
    if (!singleByte) {
        groups_[i] = ~std::uint64_t{0};
        stemGroups_[i] = 0;
        stemLength_[i] = 0;
        flags_[i] = 0;
        out += length;
        return;
    }
    groups_[i] = groups;
    std::uint8_t flags = singleByteFlag;
    const char* lowered = out;
    if (upper != 0) {
        char* lower = out + length;
        for (std::size_t k = 0; k < length; ++k) {
            lower[k] = tables.lower[bytes[k]];
        }
        lowered = lower;
        flags |= upperCaseFlag;
        out += 2 * length;
    } else {
        out += length;
    }
    const std::string_view name(lowered + nameStart, length - nameStart);
    const std::size_t dot = name.rfind('.');
    const std::string_view stem = (dot != std::string_view::npos && dot > 0) ? name.substr(0, dot) : name;
    stemGroups_[i] = groupsOf(stem);
    stemLength_[i] = static_cast<std::uint32_t>(stem.size());
    flags_[i] = flags;
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
           flags_.capacity() + byteOrder_.capacity() * sizeof(std::uint32_t);
}

} // namespace korvane
