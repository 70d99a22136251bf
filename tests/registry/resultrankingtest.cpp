#include "registry/resultranking.h"

#include "base/localizedcollator.h"
#include "registrytesting.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace korvane {
namespace {

// The ranking written out plainly: one stable sort of everything by the four keys, then the cut.
std::vector<std::string> referenceCut(std::vector<RankedMatch> matches, const HistoryReader* history,
                                      std::size_t queryLength) {
    const auto frecency = [&](const RankedMatch& m) {
        return history ? history->frecencyScore(m.entry->snippet().id) : 0.0;
    };
    std::stable_sort(matches.begin(), matches.end(), [&](const RankedMatch& a, const RankedMatch& b) {
        if (a.match.quality != b.match.quality) {
            return a.match.quality > b.match.quality;
        }
        if (a.match.subScore != b.match.subScore) {
            return a.match.subScore > b.match.subScore;
        }
        if (frecency(a) != frecency(b)) {
            return frecency(a) > frecency(b);
        }
        return a.position < b.position;
    });
    std::vector<std::string> strong;
    std::vector<std::string> weak;
    for (const RankedMatch& m : matches) {
        (m.match.quality == MatchQuality::fuzzy ? weak : strong).push_back(m.entry->snippet().id);
    }
    if (queryLength > 0) {
        weak.resize(
            strong.size() >= enoughStrongMatches ? 0 : std::min<std::size_t>(weak.size(), weakMatchLimit));
    }
    strong.insert(strong.end(), weak.begin(), weak.end());
    return strong;
}

std::vector<std::string> idsOf(const std::vector<SearchResult>& results) {
    std::vector<std::string> ids;
    for (const SearchResult& result : results) {
        ids.push_back(result.snippet->id);
    }
    return ids;
}

// Bucketing, partial ordering and reading frecency only where it decides must give exactly what
// sorting everything gives: many ties of class and frecency, a few classes or many, around the
// thresholds of the cut, with and without a history.
TEST(ResultRankingTest, CutAgreesWithSortingEverything) {
    const LocalizedCollator collator("en");
    std::mt19937 random(11);
    const std::vector<double> strongScores = {1.0, 0.9, 0.8, 0.7, 0.4};
    for (int round = 0; round < 200; ++round) {
        const std::size_t count = random() % 60;
        std::vector<SnippetEntry> entries;
        test::FakeHistory history;
        for (std::size_t i = 0; i < count; ++i) {
            entries.push_back(SnippetEntry::make(
                std::make_shared<const Snippet>(test::makeSnippet("s" + std::to_string(i))), collator));
            if (random() % 3 == 0) {
                history.scores[entries.back().snippet().id] = static_cast<double>(random() % 4) - 1.0;
            }
        }
        const bool manyClasses = round % 4 == 0;
        std::vector<RankedMatch> matches;
        for (std::uint32_t i = 0; i < count; ++i) {
            // Rounds where fuzzy matches are most, half or few of the matches reach both sides of
            // the ten strong matches that drop the fuzzy ones.
            const unsigned fuzzyPercent = std::array{90u, 50u, 15u}[round % 3];
            const bool fuzzy = random() % 100 < fuzzyPercent;
            MatchResult match;
            match.quality = fuzzy ? MatchQuality::fuzzy : static_cast<MatchQuality>(2 + random() % 3);
            match.subScore = fuzzy || manyClasses ? static_cast<double>(random() % 12) / 10.0
                                                  : strongScores[random() % strongScores.size()];
            matches.push_back({&entries[i], i * 3, match});
        }
        for (const bool withHistory : {false, true}) {
            for (const std::size_t queryLength : {std::size_t{0}, std::size_t{3}}) {
                SCOPED_TRACE(testing::Message()
                             << "round " << round << " history " << withHistory << " length " << queryLength);
                const HistoryReader* reader = withHistory ? &history : nullptr;
                MatchFrecency frecency;
                if (withHistory) {
                    frecency = [&](const RankedMatch& m) {
                        return history.frecencyScore(m.entry->snippet().id);
                    };
                }
                ASSERT_EQ(idsOf(rankedCut(matches, frecency, queryLength)),
                          referenceCut(matches, reader, queryLength));
            }
        }
    }
}

} // namespace
} // namespace korvane
