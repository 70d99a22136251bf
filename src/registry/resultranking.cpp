#include "registry/resultranking.h"

#include "registry/historyreader.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace korvane {
namespace {

bool isStrong(const RankedMatch& match) {
    return match.match.quality != MatchQuality::fuzzy;
}

// What two matches of one query are ranked by, read once instead of once per comparison.
struct RankKey {
    int quality;
    double subScore;
    std::uint32_t position;
    std::uint32_t index;
    double frecency = 0.0;
};

bool sameClass(const RankKey& a, const RankKey& b) {
    return a.quality == b.quality && a.subScore == b.subScore;
}

bool betterClass(const RankKey& a, const RankKey& b) {
    return a.quality != b.quality ? a.quality > b.quality : a.subScore > b.subScore;
}

bool ranksBefore(const RankKey& a, const RankKey& b) {
    if (!sameClass(a, b)) {
        return betterClass(a, b);
    }
    if (a.frecency != b.frecency) {
        return a.frecency > b.frecency;
    }
    return a.position < b.position;
}

class Ranker {
public:
    Ranker(const std::vector<RankedMatch>& matches, const HistoryReader* history)
        : matches_(matches)
        , history_(history) {}

    RankKey keyOf(std::uint32_t index) const {
        const RankedMatch& match = matches_[index];
        return {static_cast<int>(match.match.quality), finiteScore(match.match.subScore), match.position,
                index};
    }

    // Orders every key: by class (quality and score), then frecency, then position.
    void orderAll(std::vector<RankKey>& keys) const {
        groupByClass(keys);
        for (std::size_t begin = 0; begin < keys.size();) {
            std::size_t end = begin + 1;
            while (end < keys.size() && sameClass(keys[begin], keys[end])) {
                ++end;
            }
            orderByFrecency(keys, begin, end);
            begin = end;
        }
    }

    // Keeps the best `wanted` keys, ordered. Frecency is read only for the keys that can still
    // make the cut: those whose class is at least that of the last one kept.
    void keepBest(std::vector<RankKey>& keys, std::size_t wanted) const {
        if (wanted == 0) {
            keys.clear();
            return;
        }
        if (keys.size() > wanted) {
            auto byClassThenPosition = [](const RankKey& a, const RankKey& b) {
                return !sameClass(a, b) ? betterClass(a, b) : a.position < b.position;
            };
            const auto last = keys.begin() + static_cast<std::ptrdiff_t>(wanted - 1);
            std::nth_element(keys.begin(), last, keys.end(), byClassThenPosition);
            const RankKey threshold = *last;
            std::erase_if(keys, [&](const RankKey& key) { return betterClass(threshold, key); });
        }
        for (RankKey& key : keys) {
            key.frecency = frecencyOf(key);
        }
        std::sort(keys.begin(), keys.end(), ranksBefore);
        keys.resize(std::min(keys.size(), wanted));
    }

private:
    double frecencyOf(const RankKey& key) const {
        return history_ ? finiteScore(history_->frecencyScore(matches_[key.index].entry->snippet().id)) : 0.0;
    }

    // Sorts by class, keeping position order within a class. Strong matches come in a handful of
    // classes, so they are bucketed in one pass rather than sorted.
    static void groupByClass(std::vector<RankKey>& keys) {
        if (!std::is_sorted(keys.begin(), keys.end(),
                            [](const RankKey& a, const RankKey& b) { return a.position < b.position; })) {
            std::sort(keys.begin(), keys.end(),
                      [](const RankKey& a, const RankKey& b) { return a.position < b.position; });
        }
        constexpr std::size_t maxBuckets = 8;
        std::array<RankKey, maxBuckets> classes{};
        std::array<std::size_t, maxBuckets> counts{};
        std::size_t classCount = 0;
        for (const RankKey& key : keys) {
            std::size_t bucket = 0;
            while (bucket < classCount && !sameClass(classes[bucket], key)) {
                ++bucket;
            }
            if (bucket == classCount) {
                if (classCount == maxBuckets) {
                    std::stable_sort(keys.begin(), keys.end(), betterClass);
                    return;
                }
                classes[classCount++] = key;
            }
            ++counts[bucket];
        }
        std::array<std::size_t, maxBuckets> order{};
        for (std::size_t i = 0; i < classCount; ++i) {
            order[i] = i;
        }
        std::sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(classCount),
                  [&](std::size_t a, std::size_t b) { return betterClass(classes[a], classes[b]); });
        std::array<std::size_t, maxBuckets> next{};
        for (std::size_t rank = 0, offset = 0; rank < classCount; ++rank) {
            next[order[rank]] = offset;
            offset += counts[order[rank]];
        }
        std::vector<RankKey> grouped(keys.size());
        for (const RankKey& key : keys) {
            std::size_t bucket = 0;
            while (!sameClass(classes[bucket], key)) {
                ++bucket;
            }
            grouped[next[bucket]++] = key;
        }
        keys = std::move(grouped);
    }

    // Within one class, in position order: higher frecency first, if any frecency differs.
    void orderByFrecency(std::vector<RankKey>& keys, std::size_t begin, std::size_t end) const {
        if (!history_ || end - begin < 2) {
            return;
        }
        bool allEqual = true;
        for (std::size_t i = begin; i < end; ++i) {
            keys[i].frecency = frecencyOf(keys[i]);
            allEqual = allEqual && keys[i].frecency == keys[begin].frecency;
        }
        if (!allEqual) {
            std::stable_sort(keys.begin() + static_cast<std::ptrdiff_t>(begin),
                             keys.begin() + static_cast<std::ptrdiff_t>(end),
                             [](const RankKey& a, const RankKey& b) { return a.frecency > b.frecency; });
        }
    }

    const std::vector<RankedMatch>& matches_;
    const HistoryReader* history_;
};

SearchResult toSearchResult(const RankedMatch& match) {
    return SearchResult{sharedSnippet(*match.entry), match.match.ranges};
}

} // namespace

std::vector<SearchResult> rankedCut(const std::vector<RankedMatch>& matches, const HistoryReader* history,
                                    std::size_t queryLength) {
    const Ranker ranker(matches, history);
    std::vector<RankKey> strong;
    std::vector<RankKey> weak;
    strong.reserve(matches.size());
    for (std::uint32_t i = 0; i < matches.size(); ++i) {
        (isStrong(matches[i]) ? strong : weak).push_back(ranker.keyOf(i));
    }
    ranker.orderAll(strong);
    if (queryLength == 0) {
        ranker.orderAll(weak);
    } else {
        ranker.keepBest(weak, strong.size() >= enoughStrongMatches ? 0 : weakMatchLimit);
    }

    std::vector<SearchResult> results;
    results.reserve(strong.size() + weak.size());
    for (const std::vector<RankKey>* part : {&strong, &weak}) {
        for (const RankKey& key : *part) {
            results.push_back(toSearchResult(matches[key.index]));
        }
    }
    return results;
}

} // namespace korvane
