#include "files/pathlist.h"

#include "base/localizedcollator.h"
#include "base/unicode.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace korvane {
namespace {

std::uint64_t groupsOf(std::string_view bytes) {
    std::uint64_t groups = 0;
    for (const char c : bytes) {
        groups |= std::uint64_t{1} << (static_cast<unsigned char>(c) & 63);
    }
    return groups;
}

} // namespace

PathList::PathList(const std::vector<std::string>& sortedPaths, std::string_view locale)
    : PathList(std::vector<std::string_view>(sortedPaths.begin(), sortedPaths.end()), locale) {}

PathList::PathList(const std::vector<std::string_view>& sortedPaths, std::string_view locale)
    : locale_(locale) {
    const std::size_t count = sortedPaths.size();
    std::size_t total = 0;
    for (const auto path : sortedPaths) {
        total += path.size();
    }
    offsets_.resize(count + 1);
    groups_.resize(count);
    stemGroups_.resize(count);
    nameStart_.resize(count);
    stemLength_.resize(count);
    flags_.resize(count);
    // Room for every path and a lower-cased copy of each.
    bytes_.reset(new char[2 * total + 1]);
    char* out = bytes_.get();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view path = sortedPaths[i];
        const std::size_t length = path.size();
        offsets_[i] = static_cast<std::uint32_t>(out - bytes_.get());
        std::memcpy(out, path.data(), length);
        // One pass: the lower-cased copy, its groups, and whether every byte is one character.
        char* lower = out + length;
        std::uint64_t groups = 0;
        bool ascii = true;
        bool upper = false;
        std::size_t nameStart = 0;
        for (std::size_t k = 0; k < length; ++k) {
            const auto c = static_cast<unsigned char>(path[k]);
            ascii &= c < 0x80;
            const bool isUpper = c >= 'A' && c <= 'Z';
            upper |= isUpper;
            const auto folded = static_cast<unsigned char>(isUpper ? c + ('a' - 'A') : c);
            lower[k] = static_cast<char>(folded);
            groups |= std::uint64_t{1} << (folded & 63);
            if (c == '/') {
                nameStart = k + 1;
            }
        }
        nameStart_[i] = static_cast<std::uint32_t>(nameStart);
        std::uint8_t flags = 0;
        if (ascii && path.find("\r\n") == std::string_view::npos) {
            flags |= singleByteFlag;
            groups_[i] = groups;
            const std::string_view loweredPath(upper ? lower : out, length);
            const std::string_view name = loweredPath.substr(nameStart);
            const std::size_t dot = name.rfind('.');
            const std::string_view stem = (dot != std::string_view::npos && dot > 0) ? name.substr(0, dot) : name;
            stemGroups_[i] = groupsOf(stem);
            stemLength_[i] = static_cast<std::uint32_t>(stem.size());
        } else {
            groups_[i] = ~std::uint64_t{0};
            stemGroups_[i] = 0;
            stemLength_[i] = 0;
        }
        if (upper && (flags & singleByteFlag) != 0) {
            flags |= upperCaseFlag;
            out += 2 * length;
        } else {
            out += length;
        }
        flags_[i] = flags;
    }
    byteCount_ = static_cast<std::size_t>(out - bytes_.get());
    offsets_[count] = static_cast<std::uint32_t>(byteCount_);
}

void PathList::prepareCollationRanks() {
    if (hasCollationRanks() || empty()) {
        return;
    }
    const std::size_t count = size();
    const LocalizedCollator collator(locale_);
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
    return sizeof(*this) + byteCount_ + offsets_.capacity() * sizeof(std::uint32_t) +
           groups_.capacity() * sizeof(std::uint64_t) + stemGroups_.capacity() * sizeof(std::uint64_t) +
           nameStart_.capacity() * sizeof(std::uint32_t) + stemLength_.capacity() * sizeof(std::uint32_t) +
           collationRank_.capacity() * sizeof(std::uint32_t) + flags_.capacity();
}

} // namespace korvane
