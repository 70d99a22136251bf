#include "base/unicode.h"

#include "base/graphemetext.h"
#include "base/localizedcollator.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>
#include <vector>

namespace korvane {
namespace {

TEST(UnicodeTest, CountsExtendedGraphemeClusters) {
    const std::vector<std::pair<std::string, std::size_t>> table = {
        {"", 0},
        {"abc", 3},
        {"a\r\nb", 3}, // CR LF is one character
        {"\r\r\n", 2},
        {"cafe\u0301", 4},         // combining accent
        {"👍🏽", 1},           // emoji with a skin-tone modifier
        {"👨‍👩‍👧", 1}, // joined family
        {"🇩🇪🇫🇷", 2},               // two flags
        {"한국어", 3},
        {"\xff"
         "a",
         2}, // an invalid byte still counts as one character
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

// The clusters as the break rules and NFC give them, for checking the shortcuts against.
std::vector<std::string> referenceClusters(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> breaks(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    const icu::UnicodeString source = icu::UnicodeString::fromUTF8(text);
    breaks->setText(source);
    std::vector<std::string> clusters;
    for (int32_t start = breaks->first(), end = breaks->next(); end != icu::BreakIterator::DONE;
         start = end, end = breaks->next()) {
        std::string cluster;
        nfc->normalize(source.tempSubStringBetween(start, end), status).toUTF8String(cluster);
        clusters.push_back(cluster);
    }
    return clusters;
}

TEST(UnicodeTest, ShortcutsAgreeWithTheBreakRulesOnRandomText) {
    const std::vector<std::string> pieces = {"a",      "Z",      "-",      "\r",   "\n",     "é",   "e\u0301",
                                             "\u0301", "ß",      "İ",      "Σ",    "ς",      "中",  "한",
                                             "\u1100", "\u1161", "👍",      "🏽", "\u200D", "🇩",   "🇪",
                                             "\u0E33", "\u0BC6", "\u0BBE", "Å",    "\u212B", "\xff"};
    std::mt19937 random(42);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    for (int i = 0; i < 3000; ++i) {
        std::string text;
        for (std::size_t n = random() % 8; n > 0; --n) {
            text += pieces[pick(random)];
        }
        SCOPED_TRACE(text);
        const GraphemeText clusters(text);
        const std::vector<std::string> expected = referenceClusters(text);
        ASSERT_EQ(clusters.size(), expected.size());
        for (std::size_t c = 0; c < expected.size(); ++c) {
            ASSERT_EQ(clusters[c], expected[c]);
            ASSERT_EQ(clusters.clusterStartingAt(clusters.byteOffset(c)), c);
        }
        icu::UnicodeString lowered = icu::UnicodeString::fromUTF8(text);
        lowered.toLower(icu::Locale::getRoot());
        std::string expectedLower;
        lowered.toUTF8String(expectedLower);
        ASSERT_EQ(lowercased(text), expectedLower);
    }
}

std::string icuLowercased(const std::string& text) {
    icu::UnicodeString lowered = icu::UnicodeString::fromUTF8(text);
    lowered.toLower(icu::Locale::getRoot());
    std::string result;
    lowered.toUTF8String(result);
    return result;
}

void expectClusters(const GraphemeText& clusters, const std::vector<std::string>& expected) {
    ASSERT_EQ(clusters.size(), expected.size());
    std::string joined;
    bool singleCodePoints = true;
    for (std::size_t c = 0; c < expected.size(); ++c) {
        ASSERT_EQ(clusters[c], expected[c]);
        ASSERT_EQ(clusters.byteOffset(c), joined.size());
        joined += expected[c];
        singleCodePoints = singleCodePoints && icu::UnicodeString::fromUTF8(expected[c]).countChar32() == 1;
    }
    ASSERT_EQ(clusters.bytes(), joined);
    ASSERT_EQ(clusters.singleCodePointClusters(), singleCodePoints);
    // Every byte offset, one past the end included, maps to the cluster that begins there or to nothing.
    std::size_t next = 0;
    for (std::size_t offset = 0; offset <= joined.size() + 1; ++offset) {
        const bool starts = next < expected.size() && clusters.byteOffset(next) == offset;
        ASSERT_EQ(clusters.clusterStartingAt(offset),
                  starts ? std::optional<std::size_t>(next) : std::nullopt)
            << "at byte " << offset;
        next += starts ? 1 : 0;
    }
}

// The one-pass construction of the common text against the break rules, NFC and ICU's lower-casing,
// on texts long and short that mix code points standing alone with every kind that joins or changes a
// neighbour. One object is reused throughout, as the matcher reuses its buffers.
TEST(UnicodeTest, OnePassClustersAndLowerCasingAgreeWithIcuOnMixedScripts) {
    // Code points that stand alone, as in most paths and labels, and then everything that joins,
    // changes or breaks a neighbour, lower-cases by context or is malformed.
    const std::vector<std::string> common = {"a", "Q", "/", "-", " ", "é", "É", "ö", "ß", "ẞ", "ж", "Я"};
    const std::vector<std::string> rare = {
        "\r",     "\n",     "\r\n",   "İ", "ı",      "Σ",       "σ",          "ς",    "ά",
        "Ω",      "Ⱥ",      "\u212A", "Å", "\u212B", "e\u0301", "\u0301",     "中",   "한",
        "\u1100", "\u1161", "\u11A8", "👍", "🏽",   "\u200D",  "\U0001F468", "🇩",    "🇪",
        "\u0600", "\u0E33", "ǅ",      "ﬁ", "\u0085", "\u00AD",  "\xff",       "\xC3", "\U00010400"};
    std::mt19937 random(1207);
    const auto pickFrom = [&](const std::vector<std::string>& pieces) {
        return pieces[random() % pieces.size()];
    };
    GraphemeText clusters;
    for (int i = 0; i < 4000; ++i) {
        // Every tenth text is long enough for the block-wise scans and wide cluster offsets; half of
        // those take the one pass throughout.
        const bool longText = i % 10 == 0;
        const std::size_t rareOneIn = longText ? (i % 20 == 0 ? 0 : 30) : 2;
        std::string text;
        for (std::size_t n = random() % (longText ? 220 : 12); n > 0; --n) {
            text += rareOneIn != 0 && random() % rareOneIn == 0 ? pickFrom(rare) : pickFrom(common);
        }
        SCOPED_TRACE(text);
        clusters.assign(text);
        expectClusters(clusters, referenceClusters(text));
        ASSERT_FALSE(HasFatalFailure());
        const std::string lowered = icuLowercased(text);
        ASSERT_EQ(lowercased(text), lowered);
        clusters.assignLowercased(text);
        expectClusters(clusters, referenceClusters(lowered));
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_EQ(clusters, GraphemeText(lowered));
    }
}

TEST(UnicodeTest, ClusterStartsAreFoundOnlyAtBoundaries) {
    const GraphemeText text("añb👍🏽");
    EXPECT_EQ(text.clusterStartingAt(0), 0u);
    EXPECT_EQ(text.clusterStartingAt(1), 1u);
    EXPECT_EQ(text.clusterStartingAt(2), std::nullopt); // inside "ñ"
    EXPECT_EQ(text.clusterStartingAt(3), 2u);
    EXPECT_EQ(text.clusterStartingAt(4), 3u);
    EXPECT_EQ(text.clusterStartingAt(8), std::nullopt); // the modifier belongs to the thumb
    EXPECT_EQ(text.clusterStartingAt(text.bytes().size()), std::nullopt);
    EXPECT_EQ(GraphemeText("").clusterStartingAt(0), std::nullopt);
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

TEST(UnicodeTest, RecognisesWellFormedUtf8) {
    const std::vector<std::pair<std::string, bool>> table = {
        {"", true},
        {std::string("a\0b", 3), true},
        {"é中\U0001F44D", true},
        {"\xF4\x8F\xBF\xBF", true},  // U+10FFFF, the last code point
        {"\xC3", false},             // a sequence cut short
        {"a\xE2\x82", false},        // cut at the end of the text
        {"\x80", false},             // a lone continuation byte
        {"\xC0\xAF", false},         // overlong "/"
        {"\xED\xA0\x80", false},     // a UTF-16 surrogate
        {"\xF4\x90\x80\x80", false}, // beyond U+10FFFF
        {"\xFF", false},
    };
    for (const auto& [text, valid] : table) {
        SCOPED_TRACE(text);
        EXPECT_EQ(isValidUtf8(text), valid);
    }
}

TEST(UnicodeTest, CaseOfACharacterComesFromItsFirstCodePoint) {
    const std::vector<std::pair<std::string, CharacterCase>> table = {
        {"a", CharacterCase::lower},   {"Z", CharacterCase::upper},      {"7", CharacterCase::uncased},
        {"-", CharacterCase::uncased}, {"É", CharacterCase::upper},      {"E\u0301", CharacterCase::upper},
        {"ß", CharacterCase::lower},   {"中", CharacterCase::uncased},   {"👍🏽", CharacterCase::uncased},
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
    std::vector<std::string> labels = {"zebra", "Äpfel", "apple", "Zoo",    "öl",
                                       "Ol",    "10",    "2",     "éclair", "Eclair"};
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
