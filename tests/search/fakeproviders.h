#pragma once

#include "model/snippet.h"
#include "model/snippetprovider.h"
#include "registry/snippetregistry.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvane::test {

inline Snippet makeSnippet(const std::string& id, SnippetSource source, std::string label = {}, bool global = false) {
    Snippet snippet;
    snippet.id = id;
    snippet.label = label.empty() ? id : std::move(label);
    snippet.expansion = id;
    snippet.source = std::move(source);
    if (global) {
        snippet.metadata = std::map<std::string, std::string>{{"global", "true"}};
    }
    return snippet;
}

// A provider that answers from a table of roots, counts its calls, and can throw or run a hook first.
class FakeProvider final : public SnippetProvider {
public:
    explicit FakeProvider(std::map<std::string, std::vector<Snippet>> byRoot = {}, bool throws = false)
        : byRoot_(std::move(byRoot))
        , throws_(throws) {}

    std::vector<Snippet> snippets(const std::string& projectRoot) override {
        ++calls;
        if (onCall) {
            onCall();
        }
        if (throws_) {
            throw std::runtime_error("provider failed");
        }
        std::lock_guard lock(mutex_);
        const auto found = byRoot_.find(projectRoot);
        return found == byRoot_.end() ? std::vector<Snippet>{} : found->second;
    }

    void set(const std::string& root, std::vector<Snippet> snippets) {
        std::lock_guard lock(mutex_);
        byRoot_[root] = std::move(snippets);
    }

    std::atomic<int> calls{0};
    std::function<void()> onCall;

private:
    std::mutex mutex_;
    std::map<std::string, std::vector<Snippet>> byRoot_;
    bool throws_;
};

// Counts the calls of a real provider.
class CountingProvider final : public SnippetProvider {
public:
    explicit CountingProvider(std::shared_ptr<SnippetProvider> inner)
        : inner_(std::move(inner)) {}
    std::vector<Snippet> snippets(const std::string& projectRoot) override {
        ++calls;
        if (onCall) {
            onCall();
        }
        return inner_->snippets(projectRoot);
    }
    std::atomic<int> calls{0};
    std::function<void()> onCall;

private:
    std::shared_ptr<SnippetProvider> inner_;
};

// The ids the registry holds for one source, sorted.
inline std::vector<std::string> idsOf(const SnippetRegistry& registry, const SnippetSource& source) {
    std::vector<std::string> ids;
    for (const auto& entry : registry.indexedSnippets()) {
        if (entry.snippet().source == source) {
            ids.push_back(entry.snippet().id);
        }
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

// Every id the registry holds, sorted.
inline std::vector<std::string> allIds(const SnippetRegistry& registry) {
    std::vector<std::string> ids;
    for (const auto& entry : registry.indexedSnippets()) {
        ids.push_back(entry.snippet().id);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

} // namespace korvane::test
