#include "matcher/fuzzymatch.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace korvane {
namespace {

struct Expectation {
    std::string query;
    std::string text;
    std::optional<MatchQuality> quality; // nothing: no match
    TextRanges ranges;
    double score = 0.0;
};

void expectMatch(const Expectation& e, const std::optional<MatchResult>& result) {
    SCOPED_TRACE("'" + e.query + "' against '" + e.text + "'");
    if (!e.quality) {
        EXPECT_FALSE(result.has_value());
        return;
    }
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->quality, *e.quality);
    EXPECT_EQ(result->ranges, e.ranges);
    EXPECT_NEAR(result->subScore, e.score, 1e-4);
}

TEST(FuzzyMatchTest, CascadeDecidesQualityRangesAndScore) {
    const std::vector<Expectation> table = {
        {"con", "config.json", MatchQuality::prefix, {{0, 3}}, 1.0},
        {"json", "config.json", MatchQuality::wordBoundary, {{7, 11}}, 0.7},
        {"main", "src/main.c", MatchQuality::wordBoundary, {{4, 8}}, 0.9},
        {"bar", "fooBarBaz", MatchQuality::wordBoundary, {{3, 6}}, 0.7},
        {"val", "getJSONValue", MatchQuality::wordBoundary, {{7, 10}}, 0.7},
        {"ain", "src/main.c", MatchQuality::substring, {{5, 8}}, 0.8},
        {"c/m", "src/main.c", MatchQuality::substring, {{2, 5}}, 0.4},
        {"scm", "src/main.c", MatchQuality::fuzzy, {{0, 1}, {2, 3}, {4, 5}}, 0.6 + 0.2 * 2.0 / 3.0},
        {"bta", "v2Beta", MatchQuality::fuzzy, {{2, 3}, {4, 5}, {5, 6}}, 0.5},
        {"confgi",
         "config.json",
         MatchQuality::fuzzy,
         {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {5, 6}},
         (1.0 - 5.0 / 11.0) * 0.8},
        {"cnfig",
         "config",
         MatchQuality::fuzzy,
         {{0, 1}, {2, 3}, {3, 4}, {4, 5}, {5, 6}},
         (1.0 - 5.0 / 6.0) * 0.8},
        {"cfg", "config", std::nullopt, {}, 0.0},
        {"ab", "a-very-long-b", std::nullopt, {}, 0.0},
        // Edge cases around the main examples.
        {"", "anything", MatchQuality::prefix, {{0, 0}}, 1.0},
        {"", "", MatchQuality::prefix, {{0, 0}}, 1.0},
        {"abcde", "abcd", MatchQuality::fuzzy, {{0, 1}, {1, 2}, {2, 3}, {3, 4}}, 0.2},
        {"g.j", "config.json", MatchQuality::substring, {{5, 8}}, 0.8},
        {"conifg",
         "config.json",
         MatchQuality::fuzzy,
         {{0, 1}, {1, 2}, {2, 3}, {4, 5}, {5, 6}},
         (1.0 - 5.0 / 11.0) * 0.8},
        {"CON", "Config.JSON", MatchQuality::prefix, {{0, 3}}, 1.0},
        {"main", "lib/src/main.c", MatchQuality::wordBoundary, {{8, 12}}, 0.9},
        // The slash penalty looks at the last "/" only.
        {"ib/s", "lib/src/main.c", MatchQuality::substring, {{1, 5}}, 0.4},
        {"ain.", "lib/src/main.c", MatchQuality::substring, {{9, 13}}, 0.8},
    };
    for (const Expectation& e : table) {
        expectMatch(e, fuzzyMatch(e.query, e.text, false));
    }
}

TEST(FuzzyMatchTest, CaseSensitivityKeepsCaseButNotTheSegmentation) {
    EXPECT_FALSE(fuzzyMatch("Con", "config", true).has_value());
    const auto bar = fuzzyMatch("Bar", "fooBar", true);
    ASSERT_TRUE(bar.has_value());
    EXPECT_EQ(bar->quality, MatchQuality::wordBoundary);
    EXPECT_EQ(bar->ranges, (TextRanges{{3, 6}}));
    EXPECT_FALSE(fuzzyMatch("bar", "fooBar", true).has_value());
}

// A ranking pass folds its query once and reuses it, which must not carry over to another query or
// to the other case sensitivity.
TEST(FuzzyMatchTest, FoldedQueryFollowsTheQueryAndTheCaseSensitivity) {
    EXPECT_TRUE(fuzzyMatch("Été", "été.txt", false).has_value());
    EXPECT_FALSE(fuzzyMatch("Été", "été.txt", true).has_value());
    EXPECT_TRUE(fuzzyMatch("Été", "Été.txt", true).has_value());
    EXPECT_FALSE(fuzzyMatch("ÉTÉ", "Été.txt", true).has_value());
    EXPECT_TRUE(fuzzyMatch("été", "ÉTÉ.txt", false).has_value());
    const auto wordStart = fuzzyMatch("ÉTÉ", "hiverÉté", false);
    ASSERT_TRUE(wordStart.has_value());
    EXPECT_EQ(wordStart->quality, MatchQuality::wordBoundary);
    EXPECT_EQ(wordStart->ranges, (TextRanges{{5, 8}}));
}

TEST(FuzzyMatchTest, PlausibilityLimitsAreInclusive) {
    struct Case {
        TextRanges ranges;
        std::size_t queryLength;
        std::size_t textLength;
        bool plausible;
    };
    const std::vector<Case> cases = {
        {{}, 0, 10, false},
        {{{4, 5}}, 1, 10, true},
        {{{0, 1}, {4, 5}}, 1, 10, true},  // ratio 0.4
        {{{0, 1}, {5, 6}}, 1, 10, false}, // ratio 0.5
        {{{0, 1}, {6, 7}}, 2, 10, true},  // ratio exactly 0.6
        {{{0, 1}, {7, 8}}, 2, 10, false},
        {{{0, 1}, {3, 4}, {13, 14}}, 3, 20, true},                                  // ratio exactly 0.65
        {{{0, 1}, {11, 12}, {13, 14}}, 3, 20, true},                                // gap 10
        {{{0, 1}, {12, 13}, {13, 14}}, 3, 20, false},                               // gap 11
        {{{0, 1}, {14, 15}}, 3, 20, false},                                         // ratio 0.7
        {{{0, 1}, {11, 12}, {12, 13}, {13, 14}}, 4, 30, true},                      // gap 10 = max(8, 10)
        {{{0, 1}, {12, 13}, {13, 14}, {14, 15}}, 4, 30, false},                     // gap 11
        {{{0, 1}, {13, 14}, {14, 15}, {15, 16}, {16, 17}, {17, 18}}, 6, 30, true},  // gap 12 = 2 * 6
        {{{0, 1}, {14, 15}, {15, 16}, {16, 17}, {17, 18}, {18, 19}}, 6, 40, false}, // gap 13
        {{{0, 1}, {1, 2}, {2, 3}, {18, 19}}, 4, 30, false}, // gap 15 > 10 and ratio 0.6: the gap decides
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "n=" << c.queryLength << " m=" << c.textLength
                                        << " last=" << (c.ranges.empty() ? 0 : c.ranges.back().start));
        EXPECT_EQ(isPlausibleFuzzyMatch(c.ranges, c.queryLength, c.textLength), c.plausible);
    }
}

} // namespace
} // namespace korvane
