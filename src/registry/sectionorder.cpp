#include "registry/sectionorder.h"

#include "registry/historyreader.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace korvane {
namespace {

// Everything the order looks at, read once per entry instead of once per comparison.
struct SortKey {
    bool recent;
    double score;
    const std::string* labelKey;
    std::size_t position;
};

} // namespace

SectionOrder::SectionOrder(FrecencyScoreFunction frecencyScore, LastUsedDateFunction lastUsedDate,
                           Clock::WallTime now)
    : frecencyScore_(std::move(frecencyScore))
    , lastUsedDate_(std::move(lastUsedDate))
    , now_(now) {}

bool SectionOrder::isRecent(const std::string& id) const {
    if (!lastUsedDate_) {
        return false;
    }
    const auto used = lastUsedDate_(id);
    // A date in the future (the clock was set back) counts as recent.
    return used && secondsBetween(*used, now_) < recentWindowSeconds;
}

void SectionOrder::sort(std::vector<SnippetEntryPtr>& entries) const {
    std::vector<SortKey> keys;
    keys.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& id = entries[i]->snippet().id;
        const double score = frecencyScore_ ? finiteScore(frecencyScore_(id)) : 0.0;
        keys.push_back({isRecent(id), score, &entries[i]->labelKey, i});
    }
    std::stable_sort(keys.begin(), keys.end(), [](const SortKey& a, const SortKey& b) {
        if (a.recent != b.recent) {
            return a.recent;
        }
        if (a.score != b.score) {
            return a.score > b.score;
        }
        return *a.labelKey < *b.labelKey;
    });
    std::vector<SnippetEntryPtr> sorted;
    sorted.reserve(entries.size());
    for (const SortKey& key : keys) {
        sorted.push_back(std::move(entries[key.position]));
    }
    entries = std::move(sorted);
}

} // namespace korvane
