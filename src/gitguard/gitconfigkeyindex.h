#pragma once

#include "gitguard/gitconfigkey.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvane {

// A table of configuration keys in git's own spelling (GitConfigKey::matches), parsed once, that finds
// the first of them standing for a key without trying them all: those that stand for one key only by
// that key, the others by their section. Built once; then any thread.
class GitConfigKeyIndex {
public:
    GitConfigKeyIndex() = default;
    explicit GitConfigKeyIndex(std::vector<std::string> patterns);
    // The parts point into the patterns, which a copy would not hold.
    GitConfigKeyIndex(const GitConfigKeyIndex&) = delete;
    GitConfigKeyIndex& operator=(const GitConfigKeyIndex&) = delete;
    GitConfigKeyIndex(GitConfigKeyIndex&&) = default;
    GitConfigKeyIndex& operator=(GitConfigKeyIndex&&) = default;

    // The position of the first pattern that stands for `key`, given as git lists keys; none when no
    // pattern does.
    std::optional<std::size_t> firstMatch(std::string_view key) const;

    const std::vector<std::string>& patterns() const { return patterns_; }

private:
    struct Pattern {
        std::size_t position;
        GitConfigKey parts;
    };
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    template <typename T> using Map = std::unordered_map<std::string, T, Hash, std::equal_to<>>;

    std::vector<std::string> patterns_;
    // The position of the first pattern that stands for one key only, by that key folded.
    Map<std::size_t> exact_;
    // The other patterns, in order, by their section in lower case.
    Map<std::vector<Pattern>> bySection_;
    // Those whose section is a placeholder, in order.
    std::vector<Pattern> anySection_;
};

} // namespace korvane
