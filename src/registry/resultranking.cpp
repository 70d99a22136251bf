#include "registry/resultranking.h"

#include "registry/historyreader.h"

#include <algorithm>
#include <array>
#include <utility>

namespace korvane {
namespace {

// What a match is ranked by first: its quality, then its score within the quality.
struct MatchClass {
    int quality = 0;
    double subScore = 0.0;

    bool operator==(const MatchClass&) const = default;
};

bool isBetter(const MatchClass& a, const MatchClass& b) {
    return a.quality != b.quality ? a.quality > b.quality : a.subScore > b.subScore;
}

MatchClass classOf(const RankedMatch& match) {
    return {static_cast<int>(match.match.quality), finiteScore(match.match.subScore)};
}

bool isStrong(const RankedMatch& match) {
    return match.match.quality != MatchQuality::fuzzy;
}

// Orders matches, given by their index in the list of one search, best first.
class Ranker {
public:
    Ranker(const std::vector<RankedMatch>& matches, const MatchFrecency& frecency)
        : matches_(matches)
        , frecency_(frecency) {}

    // Orders all of `order`, which is in position order: by class, then frecency, then position.
    void orderAll(std::vector<std::uint32_t>& order) const {
        if (!bucketByClass(order)) {
            std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
                return isBetter(classAt(a), classAt(b));
            });
        }
        orderTiesByFrecency(order);
    }

    // Within each class of `order`, grouped by class and in position order within a class: higher
    // frecency first.
    void orderTiesByFrecency(std::vector<std::uint32_t>& order) const {
        if (frecency_) {
            for (std::size_t begin = 0; begin < order.size();) {
                std::size_t end = begin + 1;
                while (end < order.size() && classAt(order[end]) == classAt(order[begin])) {
                    ++end;
                }
                orderByFrecency(order, begin, end);
                begin = end;
            }
        }
    }

    // Keeps the best `wanted` of `order`, ordered. Frecency is only read for the matches that can
    // still make the cut: those whose class is at least that of the last one kept.
    void keepBest(std::vector<std::uint32_t>& order, std::size_t wanted) const {
        if (wanted == 0) {
            order.clear();
            return;
        }
        const auto byClassThenPosition = [&](std::uint32_t a, std::uint32_t b) {
            const MatchClass classA = classAt(a);
            const MatchClass classB = classAt(b);
            return classA == classB ? matches_[a].position < matches_[b].position : isBetter(classA, classB);
        };
        if (order.size() > wanted) {
            const auto last = order.begin() + static_cast<std::ptrdiff_t>(wanted - 1);
            std::nth_element(order.begin(), last, order.end(), byClassThenPosition);
            const MatchClass threshold = classAt(*last);
            std::erase_if(order, [&](std::uint32_t index) { return isBetter(threshold, classAt(index)); });
        }
        std::sort(order.begin(), order.end(), byClassThenPosition);
        orderTiesByFrecency(order);
        order.resize(std::min(order.size(), wanted));
    }

private:
    MatchClass classAt(std::uint32_t index) const { return classOf(matches_[index]); }

    double frecencyAt(std::uint32_t index) const { return frecency_(matches_[index]); }

    // Groups `order` by class, best first, keeping its order within each class. Strong matches come
    // in a handful of classes, so one counting pass does it; with more classes than that it leaves
    // `order` alone and answers false.
    bool bucketByClass(std::vector<std::uint32_t>& order) const {
        constexpr std::size_t maxClasses = 8;
        std::array<MatchClass, maxClasses> classes{};
        std::array<std::size_t, maxClasses> counts{};
        std::size_t classCount = 0;
        std::vector<std::uint8_t> bucketOf(order.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            const MatchClass matchClass = classAt(order[i]);
            std::size_t bucket = 0;
            while (bucket < classCount && !(classes[bucket] == matchClass)) {
                ++bucket;
            }
            if (bucket == classCount) {
                if (classCount == maxClasses) {
                    return false;
                }
                classes[classCount++] = matchClass;
            }
            bucketOf[i] = static_cast<std::uint8_t>(bucket);
            ++counts[bucket];
        }
        std::array<std::size_t, maxClasses> byRank{};
        for (std::size_t i = 0; i < classCount; ++i) {
            byRank[i] = i;
        }
        std::sort(byRank.begin(), byRank.begin() + static_cast<std::ptrdiff_t>(classCount),
                  [&](std::size_t a, std::size_t b) { return isBetter(classes[a], classes[b]); });
        std::array<std::size_t, maxClasses> next{};
        for (std::size_t rank = 0, offset = 0; rank < classCount; ++rank) {
            next[byRank[rank]] = offset;
            offset += counts[byRank[rank]];
        }
        std::vector<std::uint32_t> grouped(order.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            grouped[next[bucketOf[i]]++] = order[i];
        }
        order = std::move(grouped);
        return true;
    }

    // Within one class, already in position order: higher frecency first. Most snippets were never
    // used, so only the scored ones are sorted; the unscored keep their order between the positive
    // and the negative scores.
    void orderByFrecency(std::vector<std::uint32_t>& order, std::size_t begin, std::size_t end) const {
        if (end - begin < 2) {
            return;
        }
        std::vector<std::pair<double, std::uint32_t>> scored;
        std::vector<std::uint32_t> unscored;
        unscored.reserve(end - begin);
        for (std::size_t i = begin; i < end; ++i) {
            const double frecency = frecencyAt(order[i]);
            if (frecency == 0.0) {
                unscored.push_back(order[i]);
            } else {
                scored.emplace_back(frecency, order[i]);
            }
        }
        if (scored.empty()) {
            return;
        }
        std::stable_sort(scored.begin(), scored.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        const auto negative =
            std::find_if(scored.begin(), scored.end(), [](const auto& s) { return s.first < 0; });
        auto out = order.begin() + static_cast<std::ptrdiff_t>(begin);
        out = std::transform(scored.begin(), negative, out, [](const auto& s) { return s.second; });
        out = std::copy(unscored.begin(), unscored.end(), out);
        std::transform(negative, scored.end(), out, [](const auto& s) { return s.second; });
    }

    const std::vector<RankedMatch>& matches_;
    const MatchFrecency& frecency_;
};

// How many results ahead the entry's snippet pointer is asked for: results come in ranking order,
// which jumps through the index, and every result takes a reference to its entry's snippet.
constexpr std::size_t snippetPrefetchDistance = 8;

void appendResults(const std::vector<RankedMatch>& matches, const std::vector<std::uint32_t>& order,
                   std::vector<SearchResult>& results) {
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i + snippetPrefetchDistance < order.size()) {
            __builtin_prefetch(&matches[order[i + snippetPrefetchDistance]].entry->snippetPointer);
        }
        const RankedMatch& match = matches[order[i]];
        results.emplace_back(sharedSnippet(*match.entry), match.match.ranges);
    }
}

} // namespace

std::vector<SearchResult> rankedCut(const std::vector<RankedMatch>& matches, const MatchFrecency& frecency,
                                    std::size_t queryLength) {
    std::vector<std::uint32_t> strong;
    std::vector<std::uint32_t> weak;
    strong.reserve(matches.size());
    for (std::uint32_t i = 0; i < matches.size(); ++i) {
        (isStrong(matches[i]) ? strong : weak).push_back(i);
    }
    const Ranker ranker(matches, frecency);
    ranker.orderAll(strong);
    if (queryLength == 0) {
        ranker.orderAll(weak);
    } else {
        ranker.keepBest(weak, strong.size() >= enoughStrongMatches ? 0 : weakMatchLimit);
    }
    std::vector<SearchResult> results;
    results.reserve(strong.size() + weak.size());
    appendResults(matches, strong, results);
    appendResults(matches, weak, results);
    return results;
}

} // namespace korvane
