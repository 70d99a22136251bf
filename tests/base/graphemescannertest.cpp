#include "base/graphemescanner.h"

#include "base/graphemetext.h"
#include "base/unicode.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace korvane {
namespace {

std::vector<std::string> clustersOf(GraphemeScanner& scanner, std::string_view text) {
    std::vector<std::string> clusters;
    scanner.start(text);
    std::size_t begin = 0;
    for (std::size_t end = scanner.next(); end != GraphemeScanner::npos; begin = end, end = scanner.next()) {
        clusters.emplace_back(text.substr(begin, end - begin));
    }
    return clusters;
}

TEST(GraphemeScannerTest, SplitsRawBytesIntoClusters) {
    struct Row {
        std::string text;
        std::vector<std::string> clusters;
    };
    const std::vector<Row> rows = {
        {"", {}},
        {"ab", {"a", "b"}},
        {"a\r\nb\r", {"a", "\r\n", "b", "\r"}},
        {"e\u0301x", {"e\u0301", "x"}}, // stays decomposed: the scanner does not normalise
        {"\U0001F469\u200D\U0001F4BB!", {"\U0001F469\u200D\U0001F4BB", "!"}},
        {"\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7", {"\U0001F1E9\U0001F1EA", "\U0001F1EB\U0001F1F7"}},
        {"\u1100\u1161\u11A8", {"\u1100\u1161\u11A8"}},
        {"a\xFF"
         "b",
         {"a", "\xFF", "b"}},
    };
    GraphemeScanner scanner;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(clustersOf(scanner, row.text), row.clusters);
        EXPECT_EQ(scanner.clusterCount(row.text), row.clusters.size());
        EXPECT_EQ(scanner.lastClusterLength(row.text), row.clusters.empty() ? 0 : row.clusters.back().size());
    }
}

TEST(GraphemeScannerTest, AStartedWalkForgetsTheTextBefore) {
    GraphemeScanner scanner;
    const std::string accented = "e\u0301e\u0301";
    scanner.start(accented);
    ASSERT_EQ(scanner.next(), 3u);
    // Switching between the ASCII walk and the break rules mid-way must not leak state across texts.
    EXPECT_EQ(clustersOf(scanner, "xy"), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(clustersOf(scanner, accented), (std::vector<std::string>{"e\u0301", "e\u0301"}));
    EXPECT_EQ(scanner.next(), GraphemeScanner::npos);
}

// The scanner and GraphemeText must cut every text at the same places; GraphemeText only adds NFC.
TEST(GraphemeScannerTest, AgreesWithGraphemeTextOnRandomText) {
    const std::vector<std::string> pieces = {
        "a",      "-",          "\r",         "\n",     "é",          "e\u0301", "\u0301", "中",   "\u1100",
        "\u1161", "\U0001F44D", "\U0001F3FD", "\u200D", "\U0001F1E9", "\u0BC6",  "\u0BBE", "\xff", "\xC3"};
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    GraphemeScanner scanner;
    for (int i = 0; i < 2000; ++i) {
        std::string text;
        for (std::size_t n = random() % 8; n > 0; --n) {
            text += pieces[pick(random)];
        }
        SCOPED_TRACE(text);
        const std::vector<std::string> clusters = clustersOf(scanner, text);
        const GraphemeText reference(text);
        ASSERT_EQ(clusters.size(), reference.size());
        std::string joined;
        for (std::size_t c = 0; c < clusters.size(); ++c) {
            ASSERT_EQ(nfcNormalized(clusters[c]), reference[c]);
            joined += clusters[c];
        }
        ASSERT_EQ(joined, text);
    }
}

} // namespace
} // namespace korvane
