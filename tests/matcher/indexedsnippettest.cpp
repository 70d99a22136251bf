#include "matcher/indexedsnippet.h"

#include "base/unicode.h"
#include "matcher/fuzzymatch.h"
#include "matchertesting.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace korvane {
namespace {

IndexedSnippet indexedLabel(const std::string& label) {
    return IndexedSnippet(label);
}

// Prepares the query the way the registry does: lower-cased, as bytes when plain ASCII.
std::optional<MatchResult> matchQuery(const std::string& query, const IndexedSnippet& indexed) {
    return matchIndexed(PreparedQuery(query, false), indexed);
}

// The same for a search that respects case: the query as typed.
std::optional<MatchResult> matchQueryAsTyped(const std::string& query, const IndexedSnippet& indexed) {
    return matchIndexedCaseSensitive(PreparedQuery(query, true), indexed);
}

TEST(IndexedSnippetTest, PreparesLabelsAsBytesAndNonAsciiOnesAlsoAsClusters) {
    const IndexedSnippet ascii = indexedLabel("FooBar.txt");
    EXPECT_EQ(ascii.lowercasedBytes, "foobar.txt");
    EXPECT_FALSE(ascii.lowercasedChars.has_value());
    EXPECT_EQ(ascii.segmentRanges, (std::vector<SegmentRange>{{0, 3, BoundaryType::start},
                                                              {3, 6, BoundaryType::explicit_},
                                                              {7, 10, BoundaryType::camelCase}}));

    const IndexedSnippet accented = indexedLabel("Été");
    EXPECT_EQ(accented.lowercasedBytes, "\x80t\x80");
    ASSERT_TRUE(accented.lowercasedChars.has_value());
    EXPECT_EQ(accented.lowercasedChars->size(), 3u);
    EXPECT_EQ(accented.lowercasedChars->bytes(), "été");

    // The Kelvin sign lower-cases to a plain "k", so this label takes the byte path.
    EXPECT_EQ(indexedLabel("\u212Aey").lowercasedBytes, "key");
}

struct Expectation {
    std::string query;
    std::string label;
    MatchQuality quality;
    TextRanges ranges;
    double score;
};

TEST(IndexedSnippetTest, NonAsciiRangesCountCharactersOnBothEntryPoints) {
    const std::vector<Expectation> table = {
        {"crè", "café-crème", MatchQuality::wordBoundary, {{5, 8}}, 0.7},
        {"crè", "cafe\u0301-cre\u0300me", MatchQuality::wordBoundary, {{5, 8}}, 0.7},
        {"cre\u0300", "café-crème", MatchQuality::wordBoundary, {{5, 8}}, 0.7},
        {"éco", "ÉCOLE", MatchQuality::prefix, {{0, 3}}, 1.0},
        {"dep", "👍🏽-deploy", MatchQuality::wordBoundary, {{2, 5}}, 0.7},
        {"notes", "👨‍👩‍👧 notes", MatchQuality::substring, {{2, 7}}, 0.8},
        {"weg", "Straße/weg.txt", MatchQuality::wordBoundary, {{7, 10}}, 0.9},
        {"ße/w", "Straße/weg.txt", MatchQuality::substring, {{4, 8}}, 0.4},
        {"sw", "Straße/weg.txt", MatchQuality::fuzzy, {{0, 1}, {7, 8}}, 1.0 - 7.0 / 14.0},
        {"donnes",
         "données",
         MatchQuality::fuzzy,
         {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {5, 6}, {6, 7}},
         (1.0 - 6.0 / 7.0) * 0.8},
    };
    for (const Expectation& e : table) {
        SCOPED_TRACE("'" + e.query + "' against '" + e.label + "'");
        for (const auto& result :
             {matchQuery(e.query, indexedLabel(e.label)), fuzzyMatch(e.query, e.label, false)}) {
            ASSERT_TRUE(result.has_value());
            EXPECT_EQ(result->quality, e.quality);
            EXPECT_EQ(result->ranges, e.ranges);
            EXPECT_NEAR(result->subScore, e.score, 1e-4);
        }
    }
}

// A label that lacks characters of the query is passed over unless the typo test could still
// take it: a stem of the last component as short as the query less its edits must still match.
TEST(IndexedSnippetTest, LabelsLackingQueryCharactersStillMatchAsTypos) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"abcd", "ab"},
        {"abcd", "src/ab.txt"},
        {"ABCD", "x/Ab.TXT"},
        {"abcdefghijklm", "abcdefghij"},
        {"abzz", "abcd"},
        {"abcd", "a"},
        // Each accented character here leaves two groups of bytes missing for one edit.
        {"ñéab", "ab"},
        {"cönfgi", "src/cönfig.json"}};
    for (const auto& [query, label] : cases) {
        SCOPED_TRACE("'" + query + "' against '" + label + "'");
        const IndexedSnippet indexed = indexedLabel(label);
        const auto expected = fuzzyMatch(query, label, false);
        EXPECT_EQ(matchQuery(query, indexed), expected);
        EXPECT_EQ(matchQueryAsTyped(query, indexed), fuzzyMatch(query, label, true));
        EXPECT_EQ(expected.has_value(), label != "a");
    }
}

TEST(IndexedSnippetTest, LineBreakPairCountsAsOneCharacter) {
    const auto result = matchQuery("bc", indexedLabel("a\r\nbc"));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->ranges, (TextRanges{{2, 4}}));
    EXPECT_EQ(result, fuzzyMatch("bc", "a\r\nbc", false));
}

// A plain ASCII label past the case bits' capacity keeps its spelling as typed beside the record; every
// other plain ASCII label is restored from its bits and keeps nothing there.
TEST(IndexedSnippetTest, LongPlainLabelsMatchAsTypedWithoutTheirCaseBits) {
    const std::string longLabel = std::string(140, 'x') + "/MyConfigFile.JSON";
    const IndexedSnippet indexed = indexedLabel(longLabel);
    ASSERT_FALSE(indexed.caseBits.has_value());
    ASSERT_NE(indexed.labelAsTyped, nullptr);
    EXPECT_EQ(indexed.labelAsTyped->bytes, longLabel);
    EXPECT_EQ(indexedLabel("MyConfigFile.JSON").labelAsTyped, nullptr);
    for (const std::string query : {"Config", "config", "MCF", "JSON", "json", "MyConfgiFile", "Cönfig"}) {
        SCOPED_TRACE("'" + query + "'");
        const auto expected = fuzzyMatch(query, longLabel, true);
        EXPECT_EQ(matchQueryAsTyped(query, indexed), expected);
        EXPECT_EQ(matchIndexedCaseSensitive(PreparedQuery::clustered(query, true), indexed), expected);
    }
    EXPECT_TRUE(matchQueryAsTyped("Config", indexed).has_value());
    EXPECT_FALSE(matchQueryAsTyped("CONFIG", indexed).has_value());
}

using test::randomText;

// Half of the queries are drawn from the text itself so that every stage of the cascade is reached.
std::string randomQuery(std::mt19937& random, const std::vector<std::string>& alphabet,
                        const std::string& text) {
    if (text.empty() || random() % 2 == 0 || !isSingleByteClusters(text)) {
        return randomText(random, alphabet, 8);
    }
    std::string query;
    for (char c : text) {
        if (random() % 3 == 0) {
            query += c;
        }
    }
    return query;
}

const std::vector<std::string> asciiAlphabet = {"a", "b", "c", "o", "n", "f", "z", "A", "B", "C", "Z",
                                                "@", "[", "`", "{", "-", "_", "/", ".", " ", "1"};

// The byte path against the cluster path and the plain-string entry point, for every mix of forms.
void checkBytePathAgrees(const std::string& label, const std::string& query) {
    SCOPED_TRACE("'" + query + "' against '" + label + "'");
    const IndexedSnippet bytes = indexedLabel(label);
    IndexedSnippet clusters = bytes;
    clusters.lowercasedChars = GraphemeText(clusters.lowercasedBytes);
    const std::string loweredQuery = lowercased(query);
    const PreparedQuery queryChars = PreparedQuery::clustered(loweredQuery, false);

    std::vector<SegmentRange> clusterSegments;
    detail::collectSegments(GraphemeText(label), clusterSegments);
    ASSERT_EQ(bytes.segmentRanges, clusterSegments);

    const auto bytePath = matchIndexed(PreparedQuery(loweredQuery, false), bytes);
    ASSERT_EQ(bytePath, matchIndexed(queryChars, clusters));
    ASSERT_EQ(bytePath, matchIndexed(queryChars, bytes));
    ASSERT_EQ(bytePath, fuzzyMatch(query, label, false));
    ASSERT_EQ(matchQueryAsTyped(query, bytes), fuzzyMatch(query, label, true));
}

// Long labels take the block-wise searches and, past the inline capacity, heap-stored bytes.
TEST(IndexedSnippetTest, BytePathAgreesWithClusterPathOnRandomAscii) {
    struct Round {
        unsigned seed;
        int labels;
        std::size_t maxLength;
    };
    for (const Round round : {Round{20261207, 4000, 24}, Round{6, 1500, 150}}) {
        std::mt19937 random(round.seed);
        for (int i = 0; i < round.labels; ++i) {
            const std::string label = randomText(random, asciiAlphabet, round.maxLength);
            checkBytePathAgrees(label, randomQuery(random, asciiAlphabet, label));
            ASSERT_FALSE(HasFatalFailure());
        }
    }
}

TEST(IndexedSnippetTest, PreparedLabelsAgreeWithPlainStringsOnRandomUnicode) {
    const std::vector<std::string> alphabet = {"a", "e", "é", "e\u0301", "É", "E\u0301", "ß", "👍🏽",
                                               "Ω", "ω", "n", "N",       "-", "/",       "."};
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i) {
        const std::string label = randomText(random, alphabet, 16);
        const std::string query = randomText(random, alphabet, 6);
        SCOPED_TRACE("'" + query + "' against '" + label + "'");
        const IndexedSnippet indexed = indexedLabel(label);
        ASSERT_EQ(matchQuery(query, indexed), fuzzyMatch(query, label, false));
        ASSERT_EQ(matchQueryAsTyped(query, indexed), fuzzyMatch(query, label, true));
    }
}

// A plain ASCII query runs on the one-byte-per-character spelling of any label, whatever its
// clusters; it must find what the clusters give, including across "\r\n" and combined characters.
TEST(IndexedSnippetTest, AsciiQueriesAgreeWithClustersOnNonAsciiLabels) {
    const std::vector<std::string> labelAlphabet = {"a",      "c", "o", "n",  "C",        "é",      "e\u0301",
                                                    "\u00C9", "ß", "я", "中", "👍🏽", "\r\n",   "\r",
                                                    "-",      "/", ".", " ",  "_",        "\u212A", "k"};
    const std::vector<std::string> queryAlphabet = {"a", "c", "o", "n",  "C", "N", "e",
                                                    "k", "K", "s", "\r", "-", "/", "."};
    std::mt19937 random(9);
    for (int i = 0; i < 4000; ++i) {
        const std::string label = randomText(random, labelAlphabet, i % 5 == 0 ? 140 : 20);
        const std::string query = randomText(random, queryAlphabet, 1 + random() % 5);
        SCOPED_TRACE("'" + query + "' against '" + label + "'");
        const IndexedSnippet indexed = indexedLabel(label);
        const std::string lowered = lowercased(query);
        ASSERT_EQ(matchIndexed(PreparedQuery(lowered, false), indexed), fuzzyMatch(query, label, false));
        ASSERT_EQ(matchIndexed(PreparedQuery(lowered, false), indexed),
                  matchIndexed(PreparedQuery::clustered(lowered, false), indexed));
        ASSERT_EQ(matchIndexedCaseSensitive(PreparedQuery(query, true), indexed),
                  fuzzyMatch(query, label, true));
        ASSERT_EQ(matchIndexedCaseSensitive(PreparedQuery(query, true), indexed),
                  matchIndexedCaseSensitive(PreparedQuery::clustered(query, true), indexed));
    }
}

// The plain-string entry point lower-cases, clusters and segments each text in one pass when every
// code point stands alone and through the break rules otherwise; both must agree with labels prepared
// the slow way. Queries repeat, change and switch case sensitivity as a ranking pass would.
TEST(IndexedSnippetTest, PreparedLabelsAgreeWithPlainStringsOnMixedScripts) {
    const std::vector<std::string> alphabet = {
        "a", "o",  "n", "A", "N",      "é", "É", "ö", "Ö", "ß",       "ẞ",        "Σ",    "σ", "ς", "ω", "Я",
        "я", "中", "İ", "ı", "\u212A", "k", "Ⱥ", "ⱥ", "ǅ", "e\u0301", "👨\u200D👩", "\r\n", "-", "/", ".", "_"};
    std::mt19937 random(8);
    for (int i = 0; i < 6000; ++i) {
        const std::string label = randomText(random, alphabet, i % 4 == 0 ? 40 : 12);
        std::string query = randomText(random, alphabet, 6);
        if (i % 3 == 0 && !label.empty()) {
            query = label.substr(random() % label.size(), random() % 10);
        }
        SCOPED_TRACE("'" + query + "' against '" + label + "'");
        const IndexedSnippet indexed = indexedLabel(label);
        ASSERT_EQ(matchQuery(query, indexed), fuzzyMatch(query, label, false));
        // Lower-case texts match the same with and without case sensitivity.
        const std::string loweredQuery = lowercased(query);
        const std::string loweredLabel = lowercased(label);
        if (lowercased(loweredQuery) == loweredQuery && lowercased(loweredLabel) == loweredLabel) {
            ASSERT_EQ(fuzzyMatch(loweredQuery, loweredLabel, true),
                      matchQuery(query, indexedLabel(loweredLabel)));
        }
    }
}

} // namespace
} // namespace korvane
