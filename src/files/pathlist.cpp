#include "files/pathlist.h"

#include "base/localizedcollator.h"
#include "base/unicode.h"

#include <algorithm>
#include <numeric>

namespace korvane {
namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::uint64_t groupsOf(std::string_view bytes) {
    std::uint64_t groups = 0;
    for (const char c : bytes) {
        groups |= std::uint64_t{1} << (static_cast<unsigned char>(c) & 63);
    }
    return groups;
}

} // namespace

PathList::PathList(const std::vector<std::string>& sortedPaths, std::string_view locale) {
    const std::size_t count = sortedPaths.size();
    std::size_t total = 0;
    for (const auto& path : sortedPaths) {
        total += path.size();
    }
    offsets_.reserve(count + 1);
    groups_.reserve(count);
    stemGroups_.reserve(count);
    nameStart_.reserve(count);
    stemLength_.reserve(count);
    flags_.reserve(count);
    bytes_.reserve(total + total / 8);
    std::string lower;
    for (const auto& path : sortedPaths) {
        offsets_.push_back(static_cast<std::uint32_t>(bytes_.size()));
        const std::size_t slash = path.rfind('/');
        const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
        nameStart_.push_back(static_cast<std::uint32_t>(nameStart));
        std::uint8_t flags = 0;
        bytes_.append(path);
        if (isSingleByteClusters(path)) {
            flags |= singleByteFlag;
            lower.assign(path);
            std::transform(lower.begin(), lower.end(), lower.begin(), lowerAscii);
            if (lower != path) {
                flags |= upperCaseFlag;
                bytes_.append(lower);
            }
            groups_.push_back(groupsOf(lower));
            const std::string_view name = std::string_view(lower).substr(nameStart);
            const std::size_t dot = name.rfind('.');
            const std::string_view stem = (dot != std::string_view::npos && dot > 0) ? name.substr(0, dot) : name;
            stemGroups_.push_back(groupsOf(stem));
            stemLength_.push_back(static_cast<std::uint32_t>(stem.size()));
        } else {
            groups_.push_back(~std::uint64_t{0});
            stemGroups_.push_back(0);
            stemLength_.push_back(0);
        }
        flags_.push_back(flags);
    }
    offsets_.push_back(static_cast<std::uint32_t>(bytes_.size()));
    bytes_.shrink_to_fit();

    // The collation order is fixed per list, so ties in a ranking compare two integers instead of texts.
    const LocalizedCollator collator(locale);
    std::vector<std::string> keys;
    keys.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        keys.push_back(collator.sortKey((*this)[i]));
    }
    std::vector<std::uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
    collationRank_.assign(count, 0);
    std::uint32_t rank = 0;
    for (std::size_t k = 0; k < count; ++k) {
        if (k > 0 && keys[order[k]] != keys[order[k - 1]]) {
            ++rank;
        }
        collationRank_[order[k]] = rank;
    }
}

bool PathList::contains(std::string_view path) const {
    std::size_t low = 0;
    std::size_t high = size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        const std::string_view probe = (*this)[middle];
        if (probe < path) {
            low = middle + 1;
        } else if (path < probe) {
            high = middle;
        } else {
            return true;
        }
    }
    return false;
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
    return sizeof(*this) + bytes_.capacity() + offsets_.capacity() * sizeof(std::uint32_t) +
           groups_.capacity() * sizeof(std::uint64_t) + stemGroups_.capacity() * sizeof(std::uint64_t) +
           nameStart_.capacity() * sizeof(std::uint32_t) + stemLength_.capacity() * sizeof(std::uint32_t) +
           collationRank_.capacity() * sizeof(std::uint32_t) + flags_.capacity();
}

} // namespace korvane
