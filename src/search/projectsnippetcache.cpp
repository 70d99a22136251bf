#include "search/projectsnippetcache.h"

#include <algorithm>

namespace korvane {

void ProjectSnippetCache::touch(const std::string& root) {
    std::erase(accessOrder_, root);
    accessOrder_.push_back(root);
}

void ProjectSnippetCache::store(const std::string& root, Entry snippets) {
    touch(root);
    cache_[root] = std::move(snippets);
    evictIfNeeded();
}

std::optional<ProjectSnippetCache::Entry> ProjectSnippetCache::get(const std::string& root) {
    const auto found = cache_.find(root);
    if (found == cache_.end()) {
        return std::nullopt;
    }
    touch(root);
    return found->second;
}

void ProjectSnippetCache::evictIfNeeded() {
    while (accessOrder_.size() > maxEntries_) {
        cache_.erase(accessOrder_.front());
        accessOrder_.erase(accessOrder_.begin());
    }
}

void ProjectSnippetCache::erase(const std::string& root) {
    cache_.erase(root);
    std::erase(accessOrder_, root);
}

void ProjectSnippetCache::clear() {
    cache_.clear();
    accessOrder_.clear();
}

} // namespace korvane
