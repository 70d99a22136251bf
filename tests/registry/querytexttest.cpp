#include "registry/querytext.h"

#include <gtest/gtest.h>
#include <optional>

namespace korvane {
namespace {

TEST(QueryTextTest, SplitsUserPerceivedCharacters) {
    struct Row {
        std::string text;
        std::size_t size;
        std::optional<std::size_t> separator;
    };
    const std::vector<Row> rows{
        {"", 0, std::nullopt},
        {"@git main", 9, 4},
        {"@f/src", 6, 2},
        {"a\tb", 3, std::nullopt},
        {"a\r\nb c", 5, 3},
        {"e\u0301/x", 3, 1},
        {"\U0001F469\u200D\U0001F4BB x", 3, 1},
        {"\u00C4 ", 2, 1},
        {"a \u0301b", 3, std::nullopt},
    };
    for (const Row& row : rows) {
        const QueryText text(row.text);
        EXPECT_EQ(text.size(), row.size) << row.text;
        EXPECT_EQ(text.firstSeparator(), row.separator) << row.text;
    }
}

TEST(QueryTextTest, SlicesAtCharacterBoundaries) {
    const std::string source = "@e\u0301t\U0001F600/x";
    const QueryText text(source);
    ASSERT_EQ(text.size(), 6u);
    EXPECT_EQ(text.character(1), "e\u0301");
    EXPECT_EQ(text.prefix(3), "@e\u0301t");
    EXPECT_EQ(text.dropFirst(3), "\U0001F600/x");
    EXPECT_EQ(text.slice(1, 4), "e\u0301t\U0001F600");
    EXPECT_EQ(text.firstSeparator(5), std::nullopt);
    // Positions past the end give empty text rather than reading past it.
    EXPECT_EQ(text.dropFirst(9), "");
    EXPECT_EQ(text.character(6), "");
}

TEST(QueryTextTest, MalformedUtf8StaysInBounds) {
    const std::string source = "@g\xC3 \xFF/x";
    const QueryText text(source);
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bytes += text.character(i).size();
    }
    EXPECT_EQ(bytes, source.size());
    ASSERT_TRUE(text.firstSeparator().has_value());
}

} // namespace
} // namespace korvane
