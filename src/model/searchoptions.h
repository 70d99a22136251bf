#pragma once

namespace korvane {

// The options of one search.
struct SearchOptions {
    bool caseSensitive = false;

    bool operator==(const SearchOptions&) const = default;
};

} // namespace korvane
