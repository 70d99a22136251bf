#pragma once

#include "base/clock.h"
#include "model/snippet.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

using FrecencyScoreFunction = std::function<double(const std::string& id)>;
using LastUsedDateFunction = std::function<std::optional<Clock::WallTime>(const std::string& id)>;

// The order of items in browser mode and of an empty query's results: snippets used within the
// recent window first, then higher frecency, then labels in localized case-insensitive order. One
// instant is fixed for the whole sort. Main thread.
class SectionOrder {
public:
    static constexpr double recentWindowSeconds = 300.0;

    // Either function may be empty: no score is 0, no date is never used.
    SectionOrder(FrecencyScoreFunction frecencyScore, LastUsedDateFunction lastUsedDate, Clock::WallTime now);

    // Sorts `items`, which must come in the index's label order; `snippetOf` gives an item's snippet.
    // The sort is stable, so items alike in recency and score stay in label order, and labels that
    // collate equal in theirs.
    template <class Item, class SnippetOf> void sort(std::vector<Item>& items, SnippetOf snippetOf) const {
        std::vector<SortKey> keys;
        keys.reserve(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Snippet& snippet = snippetOf(items[i]);
            keys.push_back({isRecent(snippet.id), score(snippet.id), i});
        }
        std::stable_sort(keys.begin(), keys.end(), before);
        std::vector<Item> sorted;
        sorted.reserve(items.size());
        for (const SortKey& key : keys) {
            sorted.push_back(std::move(items[key.position]));
        }
        items = std::move(sorted);
    }

private:
    // Everything the order looks at, read once per item instead of once per comparison.
    struct SortKey {
        bool recent;
        double score;
        std::size_t position;
    };

    static bool before(const SortKey& a, const SortKey& b);
    bool isRecent(const std::string& id) const;
    double score(const std::string& id) const;

    FrecencyScoreFunction frecencyScore_;
    LastUsedDateFunction lastUsedDate_;
    Clock::WallTime now_;
};

} // namespace korvane
