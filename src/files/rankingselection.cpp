#include "files/rankingselection.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace korvane::pathmatch {
namespace {

using Lists = std::array<const std::vector<std::string>*, 4>;

Lists listsOf(const RecentFilesSnapshot& snapshot) {
    return {&snapshot.gitUncommitted, &snapshot.sessionSelected, &snapshot.gitRecentlyCommitted,
            &snapshot.mtimeRecent};
}

constexpr std::array<int, 4> tops{1000, 900, 800, 300};
constexpr std::array<int, 4> steps{1, 10, 1, 5};

// Scores by place in `paths`; none when no recent path is in the list.
std::shared_ptr<const std::vector<std::int32_t>> scoresFor(const RecentFilesSnapshot& snapshot, const PathList& paths) {
    const Lists lists = listsOf(snapshot);
    std::size_t recentCount = 0;
    for (const auto* list : lists) {
        recentCount += list->size();
    }
    if (recentCount == 0 || paths.empty()) {
        return nullptr;
    }
    auto scores = std::make_shared<std::vector<std::int32_t>>(paths.size(), 0);
    bool any = false;
    if (recentCount * 32 < paths.size()) {
        // Later lists and places never replace an earlier score, so the lists are offered backwards.
        for (std::size_t l = lists.size(); l-- > 0;) {
            const auto& list = *lists[l];
            for (std::size_t i = list.size(); i-- > 0;) {
                for (const std::uint32_t index : paths.find(list[i])) {
                    (*scores)[index] = tops[l] - steps[l] * static_cast<int>(i);
                    any = true;
                }
            }
        }
    } else {
        std::unordered_map<std::string_view, std::int32_t> byPath;
        byPath.reserve(recentCount);
        for (std::size_t l = 0; l < lists.size(); ++l) {
            const auto& list = *lists[l];
            for (std::size_t i = 0; i < list.size(); ++i) {
                byPath.try_emplace(list[i], tops[l] - steps[l] * static_cast<int>(i));
            }
        }
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (const auto found = byPath.find(paths[i]); found != byPath.end()) {
                (*scores)[i] = found->second;
                any = true;
            }
        }
    }
    return any ? std::move(scores) : nullptr;
}

} // namespace

RecencyTable::RecencyTable(const RecentFilesSnapshot& snapshot, const PathList& paths)
    : scores_(scoresFor(snapshot, paths)) {}

RecencyTable::RecencyTable(std::shared_ptr<const RecentFilesSnapshot> snapshot,
                           const std::shared_ptr<const PathList>& paths)
    : scores_(scoresFor(*snapshot, *paths))
    , snapshot_(std::move(snapshot))
    , paths_(paths) {}

RecencyTable::RecencyTable(const RecencyTable& scores, std::shared_ptr<const RecentFilesSnapshot> snapshot)
    : scores_(scores.scores_)
    , snapshot_(std::move(snapshot))
    , paths_(scores.paths_) {}

bool RecencyTable::hasListsOf(const RecentFilesSnapshot& snapshot, const std::shared_ptr<const PathList>& paths) const {
    if (!snapshot_ || paths_.lock() != paths) {
        return false;
    }
    const Lists mine = listsOf(*snapshot_);
    const Lists theirs = listsOf(snapshot);
    for (std::size_t l = 0; l < mine.size(); ++l) {
        if (*mine[l] != *theirs[l]) {
            return false;
        }
    }
    return true;
}

bool before(const SortKey& a, const SortKey& b, Collation& collation) {
    if (a.quality != b.quality) {
        return a.quality > b.quality;
    }
    if (a.filenameScore != b.filenameScore) {
        return a.filenameScore > b.filenameScore;
    }
    if (a.recency != b.recency) {
        return a.recency > b.recency;
    }
    if (const int order = collation.compare(a.index, b.index); order != 0) {
        return order < 0;
    }
    return a.index < b.index;
}
std::vector<SortKey> selectBest(const std::vector<Entry>& entries, const PathList& paths, const RecencyTable& recency,
                                std::size_t limit) {
    std::vector<SortKey> heap;
    heap.reserve(limit + 1);
    if (limit == 0) {
        return heap;
    }
    // The best `limit` by their scores, ties going to the earlier path, with no collation; only the
    // chosen ones are then ordered with their ties collated.
    const auto scoredBefore = [](const SortKey& a, const SortKey& b) {
        if (a.quality != b.quality) {
            return a.quality > b.quality;
        }
        if (a.filenameScore != b.filenameScore) {
            return a.filenameScore > b.filenameScore;
        }
        if (a.recency != b.recency) {
            return a.recency > b.recency;
        }
        return a.index < b.index;
    };
    // The heap's front is the worst key kept.
    for (const Entry& entry : entries) {
        if (heap.size() == limit) {
            const SortKey& worst = heap.front();
            if (entry.quality < worst.quality ||
                (entry.quality == worst.quality && static_cast<int>(entry.filenameScore) < worst.filenameScore)) {
                continue;
            }
        }
        const SortKey key{entry.quality, static_cast<int>(entry.filenameScore), recency.score(entry.index),
                          entry.index};
        if (heap.size() < limit) {
            heap.push_back(key);
            std::push_heap(heap.begin(), heap.end(), scoredBefore);
        } else if (scoredBefore(key, heap.front())) {
            std::pop_heap(heap.begin(), heap.end(), scoredBefore);
            heap.back() = key;
            std::push_heap(heap.begin(), heap.end(), scoredBefore);
        }
    }
    Collation collation(paths);
    std::sort(heap.begin(), heap.end(), [&](const SortKey& a, const SortKey& b) { return before(a, b, collation); });
    return heap;
}

} // namespace korvane::pathmatch
