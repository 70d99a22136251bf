#include "base/graphemetext.h"
#include "base/localizedcollator.h"
#include "base/unicode.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvane {
namespace {

TEST(UnicodeTest, CountsExtendedGraphemeClusters) {
    const std::vector<std::pair<std::string, std::size_t>> table = {
        {"", 0},
        {"abc", 3},
        {"a\r\nb", 3},                 // CR LF is one character
        {"\r\r\n", 2},
        {"cafe\u0301", 4},             // combining accent
        {"👍🏽", 1},                    // emoji with a skin-tone modifier
        {"👨‍👩‍👧", 1},                    // joined family
        {"🇩🇪🇫🇷", 2},                   // two flags
        {"한국어", 3},
        {"\xff" "a", 2},               // an invalid byte still counts as one character
    };
    for (const auto& [text, count] : table) {
        SCOPED_TRACE(text);
        EXPECT_EQ(graphemeCount(text), count);
        EXPECT_EQ(GraphemeText(text).size(), count);
    }
}

TEST(UnicodeTest, ClustersAreStoredInComposedForm) {
    const GraphemeText decomposed("Cafe\u0301!");
    ASSERT_EQ(decomposed.size(), 5u);
    EXPECT_EQ(decomposed[3], "é");
    EXPECT_EQ(decomposed[4], "!");
    EXPECT_EQ(decomposed, GraphemeText("Café!"));
    EXPECT_EQ(GraphemeText("x👍🏽y")[1], "👍🏽");

    EXPECT_TRUE(canonicallyEqual("Cafe\u0301", "Café"));
    EXPECT_TRUE(canonicallyEqual("\u212B", "Å")); // the Ångström sign is a canonical duplicate
    EXPECT_FALSE(canonicallyEqual("Cafe", "Café"));
    EXPECT_EQ(nfcNormalized("e\u0301"), "é");
}

TEST(UnicodeTest, LowerCasesFullyAndKeepsAsciiCheap) {
    EXPECT_EQ(lowercased("Config.JSON"), "config.json");
    EXPECT_EQ(lowercased("ÉCOLE Ünïcode"), "école ünïcode");
    EXPECT_EQ(lowercased("İ"), "i\u0307"); // full mapping: one letter becomes two code points
    EXPECT_EQ(lowercased("ΩMEGA"), "ωmega");
    EXPECT_TRUE(isAscii("plain text"));
    EXPECT_FALSE(isAscii("naïve"));
    EXPECT_TRUE(isSingleByteClusters("a\rb\n"));
    EXPECT_FALSE(isSingleByteClusters("a\r\nb"));
}

TEST(UnicodeTest, CaseOfACharacterComesFromItsFirstCodePoint) {
    const std::vector<std::pair<std::string, CharacterCase>> table = {
        {"a", CharacterCase::lower},   {"Z", CharacterCase::upper},       {"7", CharacterCase::uncased},
        {"-", CharacterCase::uncased}, {"É", CharacterCase::upper},       {"E\u0301", CharacterCase::upper},
        {"ß", CharacterCase::lower},   {"中", CharacterCase::uncased},    {"👍🏽", CharacterCase::uncased},
        {"", CharacterCase::uncased},  {"\xC3", CharacterCase::uncased},
    };
    for (const auto& [cluster, expected] : table) {
        SCOPED_TRACE(cluster);
        EXPECT_EQ(characterCase(cluster), expected);
    }
}

TEST(LocalizedCollatorTest, IgnoresCaseButNotAccents) {
    const LocalizedCollator collator("en_US");
    EXPECT_EQ(collator.compare("apple", "APPLE"), 0);
    EXPECT_LT(collator.compare("apple", "Banana"), 0);
    EXPECT_LT(collator.compare("resume", "résumé"), 0);
    EXPECT_NE(collator.compare("resume", "résumé"), 0);
    EXPECT_EQ(collator.sortKey("Cafe\u0301"), collator.sortKey("café"));
}

TEST(LocalizedCollatorTest, SortKeysOrderLikeTheCollatorAndFollowTheLocale) {
    std::vector<std::string> labels = {"zebra", "Äpfel", "apple", "Zoo", "öl", "Ol", "10", "2", "éclair", "Eclair"};
    const LocalizedCollator german("de_DE");
    std::vector<std::string> byCompare = labels;
    std::stable_sort(byCompare.begin(), byCompare.end(),
                     [&](const auto& a, const auto& b) { return german.compare(a, b) < 0; });
    std::vector<std::string> byKey = labels;
    std::stable_sort(byKey.begin(), byKey.end(),
                     [&](const auto& a, const auto& b) { return german.sortKey(a) < german.sortKey(b); });
    EXPECT_EQ(byKey, byCompare);
    EXPECT_LT(german.compare("öl", "zebra"), 0);

    // Swedish sorts "ö" after "z"; an unknown locale name still yields a working order.
    EXPECT_GT(LocalizedCollator("sv_SE").compare("öl", "zebra"), 0);
    EXPECT_LT(LocalizedCollator("xx_NOWHERE").compare("a", "B"), 0);
}

} // namespace
} // namespace korvane
