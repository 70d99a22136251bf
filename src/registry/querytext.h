#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace korvane {

// A query text seen as user-perceived characters (extended grapheme clusters), so that positions,
// prefixes and separators count what the user sees. It refers to the text, which must outlive it.
// Any thread.
class QueryText {
public:
    explicit QueryText(std::string_view text);

    std::size_t size() const { return bounds_.size() - 1; }
    bool empty() const { return size() == 0; }

    // The character at `index`, as its UTF-8 bytes.
    std::string_view character(std::size_t index) const;
    // The characters from `first` up to (not including) `last`.
    std::string_view slice(std::size_t first, std::size_t last) const;
    std::string_view prefix(std::size_t count) const { return slice(0, count); }
    std::string_view dropFirst(std::size_t count) const { return slice(count, size()); }

    // The index of the first space or slash at or after `from`; no other character separates.
    std::optional<std::size_t> firstSeparator(std::size_t from = 0) const;

private:
    std::string_view text_;
    // Byte offsets of every character start, followed by the text's length.
    std::vector<std::size_t> bounds_;
};

} // namespace korvane
