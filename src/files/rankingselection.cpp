#include "files/rankingselection.h"

#include <algorithm>

namespace korvane::pathmatch {

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
    Collation collation(paths);
    const auto ordered = [&](const SortKey& a, const SortKey& b) { return before(a, b, collation); };
    // The heap's front is the worst key kept.
    const auto worseFirst = ordered;
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
            std::push_heap(heap.begin(), heap.end(), worseFirst);
        } else if (ordered(key, heap.front())) {
            std::pop_heap(heap.begin(), heap.end(), worseFirst);
            heap.back() = key;
            std::push_heap(heap.begin(), heap.end(), worseFirst);
        }
    }
    std::sort(heap.begin(), heap.end(), ordered);
    return heap;
}

} // namespace korvane::pathmatch
