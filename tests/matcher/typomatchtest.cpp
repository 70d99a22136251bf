#include "matcher/typomatch.h"

#include "matcher/editdistance.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace korvane {
namespace {

TEST(EditDistanceTest, CountsEditsOnCharactersAndGivesUpPastTheBound) {
    struct Case {
        std::string a;
        std::string b;
        std::size_t max;
        bool caseSensitive;
        std::optional<std::size_t> distance;
    };
    const std::vector<Case> cases = {
        {"kitten", "sitting", 3, true, 3},
        {"kitten", "sitting", 2, true, std::nullopt},
        {"abcd", "abdc", 2, true, 2}, // a transposition is two edits
        {"abcd", "abdc", 1, true, std::nullopt},
        {"abcdefgh", "ab", 3, true, std::nullopt}, // the length difference alone exceeds the bound
        {"Config", "config", 0, false, 0},
        {"Config", "config", 0, true, std::nullopt},
        {"", "", 0, true, 0},
        {"café", "cafe\u0301", 0, true, 0}, // canonically equivalent spellings
        {"café", "cafe", 1, true, 1},       // "é" against "e" is one substitution
        {"👍🏽abc", "abc", 1, true, 1}, // an emoji with its modifier is one character
        {"xxxxabcd", "abcdyyyy", 8, true, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a + " / " + c.b);
        EXPECT_EQ(boundedEditDistance(c.a, c.b, c.max, c.caseSensitive), c.distance);
    }
}

TEST(TypoMatchTest, NeedsFourCharactersAndAllowsMoreEditsFromThirteen) {
    EXPECT_FALSE(typoMatch("a", "b", false));
    EXPECT_FALSE(typoMatch("ab", "ba", false));
    EXPECT_FALSE(typoMatch("cfg", "cgf", false));
    EXPECT_TRUE(typoMatch("cnfg", "config", false));

    const std::string twelve = "abcdefghijkl";
    EXPECT_TRUE(typoMatch(twelve, "abcdefghijXY", false));  // 2 edits
    EXPECT_FALSE(typoMatch(twelve, "abcdefghiXYZ", false)); // 3 edits
    const std::string thirteen = "abcdefghijklm";
    EXPECT_TRUE(typoMatch(thirteen, "abcdefghijXYZ", false));  // 3 edits
    EXPECT_FALSE(typoMatch(thirteen, "abcdefghiWXYZ", false)); // 4 edits
}

TEST(TypoMatchTest, ComparesAgainstTheStemOfTheText) {
    EXPECT_EQ(typoMatch("conifg", "config.json", false),
              (TextRanges{{0, 1}, {1, 2}, {2, 3}, {4, 5}, {5, 6}}));
    // Only the last extension goes; a leading dot is part of the name.
    EXPECT_TRUE(typoMatch("bashrx", ".bashrc", false));
    EXPECT_TRUE(typoMatch("archve.tar", "archive.tar.gz", false));
    EXPECT_FALSE(typoMatch("archve", "archive.tar.gz", false));
    // Query characters missing from the stem are skipped, not highlighted.
    EXPECT_EQ(typoMatch("wxyz", "abyz", false), (TextRanges{{2, 3}, {3, 4}}));
}

TEST(TypoMatchTest, LastComponentShiftsRangesAndScores) {
    const auto result = lastComponentTypoMatch("confgi", "src/config.json", 15, false);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->quality, MatchQuality::fuzzy);
    EXPECT_EQ(result->ranges, (TextRanges{{4, 5}, {5, 6}, {6, 7}, {7, 8}, {9, 10}}));
    EXPECT_NEAR(result->subScore, (1.0 - 5.0 / 15.0) * 0.8, 1e-9);

    EXPECT_FALSE(lastComponentTypoMatch("conf", "src/conf/", 9, false).has_value());
    const auto caseSensitive = lastComponentTypoMatch("Conf", "conf", 4, true);
    ASSERT_TRUE(caseSensitive.has_value());
    EXPECT_EQ(caseSensitive->ranges, (TextRanges{{1, 2}, {2, 3}, {3, 4}}));
    // Ranges count characters, not bytes, of the directories before the component.
    const auto accented = lastComponentTypoMatch("notse", "données/notes.md", 16, false);
    ASSERT_TRUE(accented.has_value());
    EXPECT_EQ(accented->ranges.front(), (TextRange{8, 9}));
}

} // namespace
} // namespace korvane
