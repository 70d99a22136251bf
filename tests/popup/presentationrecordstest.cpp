#include "popup/labelcachekey.h"
#include "popup/searchshellvariant.h"
#include "popup/searchviewstate.h"
#include "popuptestsupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <unordered_set>

namespace korvane {
namespace {

using test::result;
using test::results;

TEST(SearchShellVariantTest, ReadsOnlyItsExactRawValues) {
    const struct {
        const char* text;
        std::optional<SearchShellVariant> variant;
    } cases[] = {
        {"scopesOnly", SearchShellVariant::scopesOnly},
        {"mixed", SearchShellVariant::mixed},
        {"scopedEmpty", SearchShellVariant::scopedEmpty},
        {"Mixed", std::nullopt},
        {"scopedempty", std::nullopt},
        {" mixed", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(searchShellVariantFromString(c.text), c.variant) << c.text;
        if (c.variant) {
            EXPECT_EQ(toString(*c.variant), c.text);
        }
    }
}

TEST(SearchViewStateTest, ResultListsCompareBySnippetIDsOnly) {
    auto ranged = results({"a", "b"});
    ranged[0].matchRanges.push_back(TextRange{0, 1});
    const SearchEmptyState compact{"No matches", SearchEmptyState::Style::compact};
    const SearchEmptyState standard{"No matches", SearchEmptyState::Style::standard};

    EXPECT_EQ(SearchViewState::results(results({"a", "b"})), SearchViewState::results(ranged));
    EXPECT_NE(SearchViewState::results(results({"a", "b"})), SearchViewState::results(results({"b", "a"})));
    EXPECT_NE(SearchViewState::results(results({"a"})), SearchViewState::results(results({"a", "b"})));
    EXPECT_EQ(SearchViewState::empty(compact), SearchViewState::empty(compact));
    EXPECT_NE(SearchViewState::empty(compact), SearchViewState::empty(standard));
    EXPECT_NE(SearchViewState::results({}), SearchViewState::empty(compact));
    EXPECT_TRUE(SearchViewState::empty(compact).resultList().empty());
}

TEST(LabelCacheKeyTest, QuantizesAnyFontSizeWithoutOverflow) {
    constexpr int most = std::numeric_limits<int>::max();
    constexpr int least = std::numeric_limits<int>::min();
    const struct {
        double size;
        int quantized;
    } cases[] = {
        {16, 160},
        {13.37, 133},
        {-2.55, -25},
        {0, 0},
        {1e300, most},
        {-1e300, least},
        {std::numeric_limits<double>::infinity(), most},
        {-std::numeric_limits<double>::infinity(), least},
        {std::nan(""), 0},
        {3e8, most},
        {2e8, 2000000000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LabelCacheKey::quantizeFontSize(c.size), c.quantized) << c.size;
    }
}

TEST(LabelCacheKeyTest, ComparesAndHashesAllFourFields) {
    const LabelCacheKey base{"manual:a", {TextRange{0, 2}}, false, 160};
    LabelCacheKey otherRanges = base;
    otherRanges.matchRanges.push_back(TextRange{3, 4});
    LabelCacheKey otherGlass = base;
    otherGlass.isGlassMode = true;
    LabelCacheKey otherSize = base;
    otherSize.fontSizeQuantized = 161;
    LabelCacheKey otherID = base;
    otherID.snippetID = "manual:b";

    std::unordered_set<LabelCacheKey> keys{base, otherRanges, otherGlass, otherSize, otherID};
    EXPECT_EQ(keys.size(), 5u);
    EXPECT_EQ(keys.count(LabelCacheKey{"manual:a", {TextRange{0, 2}}, false, 160}), 1u);
    EXPECT_EQ(base.hash(), (LabelCacheKey{"manual:a", {TextRange{0, 2}}, false, 160}).hash());
}

TEST(DisplayableResultTest, EqualWhenIDsAndRangesAgree) {
    auto a = result("a");
    auto ranged = result("a");
    ranged.matchRanges.push_back(TextRange{0, 1});
    using Row = PopupViewModel::DisplayableResult;
    EXPECT_EQ((Row{a.snippet, a.matchRanges}), (Row{result("a").snippet, {}}));
    EXPECT_NE((Row{a.snippet, a.matchRanges}), (Row{ranged.snippet, ranged.matchRanges}));
    EXPECT_NE((Row{a.snippet, {}}), (Row{result("b").snippet, {}}));
}

} // namespace
} // namespace korvane
