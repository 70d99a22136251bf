#pragma once

#include "model/snippet.h"
#include "model/snippetsource.h"

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvane {

// The scanned snippets of the most recently used project roots, per source, so that switching back to
// one shows its snippets at once while its fresh scan runs. Least recently stored or looked up goes
// first. Held in memory only; main thread.
class ProjectSnippetCache {
public:
    using Entry = std::unordered_map<SnippetSource, std::vector<Snippet>>;

    explicit ProjectSnippetCache(std::size_t maxEntries = 5)
        : maxEntries_(maxEntries) {}

    // Replaces the root's entry whole and marks it most recently used.
    void store(const std::string& root, Entry snippets);
    // The root's entry, marking it most recently used; a miss changes nothing.
    std::optional<Entry> get(const std::string& root);
    void evictIfNeeded();
    // Forgets `root`.
    void erase(const std::string& root);
    // Forgets every root.
    void clear();

    const std::unordered_map<std::string, Entry>& cache() const { return cache_; }
    // Least recently used first.
    const std::vector<std::string>& accessOrder() const { return accessOrder_; }
    std::size_t maxEntries() const { return maxEntries_; }

private:
    void touch(const std::string& root);

    // Roots are exact strings: "/p" and "/p/" are two roots, as the scan pipeline sees them.
    std::unordered_map<std::string, Entry> cache_;
    std::vector<std::string> accessOrder_;
    std::size_t maxEntries_;
};

} // namespace korvane
