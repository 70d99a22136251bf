#include "matcher/preparedquery.h"

#include "matcher/fuzzymatch.h"
#include "matcher/indexedsnippet.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvane {
namespace {

// The form a query takes decides which path every candidate runs, so it must follow the folded query:
// folding can make a character plain ASCII or leave it as clusters (which are held composed).
TEST(PreparedQueryTest, FoldsThenHoldsBytesOrClusters) {
    struct Case {
        std::string query;
        bool caseSensitive;
        bool isBytes;
        std::string prepared;
        std::size_t length;
    };
    const std::vector<Case> table = {
        {"ReadMe", false, true, "readme", 6},
        {"ReadMe", true, true, "ReadMe", 6},
        {"", false, true, "", 0},
        {"\u212Aey", false, true, "key", 3},
        {"\u212Aey", true, false, "Key", 3},
        {"Été", false, false, "été", 3},
        {"a\r\nb", false, false, "a\r\nb", 3},
        {"e\u0301t", true, false, "\u00E9t", 2},
    };
    for (const Case& c : table) {
        SCOPED_TRACE("'" + c.query + "'" + (c.caseSensitive ? " respecting case" : ""));
        const PreparedQuery query(c.query, c.caseSensitive);
        EXPECT_EQ(query.isBytes(), c.isBytes);
        EXPECT_EQ(query.isBytes() ? query.bytes() : query.chars().bytes(), c.prepared);
        EXPECT_EQ(query.isBytes() ? query.chars().size() : query.bytes().size(), 0u);
        EXPECT_EQ(query.length(), c.length);
        EXPECT_EQ(query.groups(), byteGroups(c.prepared));
        EXPECT_TRUE(query.holds(c.query, c.caseSensitive));
        EXPECT_FALSE(query.holds(c.query, !c.caseSensitive));
    }
}

// fuzzyMatch keeps one prepared query per thread and prepares it again in place; nothing of an earlier
// query may leak into the next, whatever its form.
TEST(PreparedQueryTest, ReassignedQueriesMatchLikeFreshOnes) {
    const std::vector<std::pair<std::string, bool>> queries = {
        {"cönf", false}, {"conf", false}, {"e\u0301", true}, {"Conf", true}, {"", false}, {"cönf", true}};
    const std::vector<std::string> labels = {"src/Cönfig.json", "config", "Café", "cafe\u0301", ""};
    PreparedQuery reused;
    for (const auto& [text, caseSensitive] : queries) {
        reused.assign(text, caseSensitive);
        const PreparedQuery fresh(text, caseSensitive);
        EXPECT_EQ(reused.isBytes(), fresh.isBytes());
        EXPECT_EQ(reused.bytes(), fresh.bytes());
        EXPECT_EQ(reused.chars(), fresh.chars());
        EXPECT_EQ(reused.groups(), fresh.groups());
        EXPECT_EQ(reused.alphabet() != nullptr, PreparedQuery(text, caseSensitive).alphabet() != nullptr);
        for (const std::string& label : labels) {
            SCOPED_TRACE("'" + text + "' against '" + label + "'");
            const IndexedSnippet indexed(label);
            EXPECT_EQ(matchIndexed(reused, indexed), matchIndexed(fresh, indexed));
            EXPECT_EQ(matchIndexed(reused, indexed), fuzzyMatch(text, label, caseSensitive));
        }
    }
}

// The byte path spells texts through the query's alphabet, which only a query of single code points has.
TEST(PreparedQueryTest, AlphabetOnlyForQueriesOfSingleCodePoints) {
    PreparedQuery ascii("abc", false);
    ASSERT_NE(ascii.alphabet(), nullptr);
    EXPECT_EQ(ascii.alphabet()->queryBytes(), "abc");
    EXPECT_NE(PreparedQuery("Été", false).alphabet(), nullptr);
    EXPECT_NE(PreparedQuery("e\u0301t", true).alphabet(), nullptr);
    EXPECT_EQ(PreparedQuery("a\U0001F44D\U0001F3FD", false).alphabet(), nullptr);
}

} // namespace
} // namespace korvane
