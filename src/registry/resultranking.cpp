#include "registry/resultranking.h"

#include "registry/historyreader.h"

#include <algorithm>
#include <utility>

namespace korvane {
namespace {

// The ranking keys of one match, read once instead of once per comparison.
struct RankKey {
    int quality;
    double subScore;
    double frecency;
    std::uint32_t labelRank;
    std::size_t position;
};

bool isStrong(const RankedMatch& match) {
    return match.match.quality != MatchQuality::fuzzy;
}

SearchResult toSearchResult(RankedMatch& match) {
    return SearchResult{sharedSnippet(*match.entry), std::move(match.match.ranges)};
}

} // namespace

void rankMatches(std::vector<RankedMatch>& matches, const HistoryReader* history) {
    std::vector<RankKey> keys;
    keys.reserve(matches.size());
    for (std::size_t i = 0; i < matches.size(); ++i) {
        const RankedMatch& match = matches[i];
        const double frecency =
            history ? finiteScore(history->frecencyScore(match.entry->snippet().id)) : 0.0;
        keys.push_back({static_cast<int>(match.match.quality), finiteScore(match.match.subScore), frecency,
                        match.labelRank, i});
    }
    std::stable_sort(keys.begin(), keys.end(), [](const RankKey& a, const RankKey& b) {
        if (a.quality != b.quality) {
            return a.quality > b.quality;
        }
        if (a.subScore != b.subScore) {
            return a.subScore > b.subScore;
        }
        if (a.frecency != b.frecency) {
            return a.frecency > b.frecency;
        }
        return a.labelRank < b.labelRank;
    });
    std::vector<RankedMatch> sorted;
    sorted.reserve(matches.size());
    for (const RankKey& key : keys) {
        sorted.push_back(std::move(matches[key.position]));
    }
    matches = std::move(sorted);
}

std::vector<SearchResult> finalCut(std::vector<RankedMatch>& matches, std::size_t queryLength) {
    std::vector<SearchResult> results;
    if (queryLength == 0) {
        results.reserve(matches.size());
        for (RankedMatch& match : matches) {
            results.push_back(toSearchResult(match));
        }
        return results;
    }
    const auto strongCount =
        static_cast<std::size_t>(std::count_if(matches.begin(), matches.end(), isStrong));
    const std::size_t weakWanted = strongCount >= enoughStrongMatches ? 0 : weakMatchLimit;
    results.reserve(strongCount + weakWanted);
    for (RankedMatch& match : matches) {
        if (isStrong(match)) {
            results.push_back(toSearchResult(match));
        }
    }
    for (RankedMatch& match : matches) {
        if (results.size() - strongCount == weakWanted) {
            break;
        }
        if (!isStrong(match)) {
            results.push_back(toSearchResult(match));
        }
    }
    return results;
}

} // namespace korvane
