#include "popup/labelcachekey.h"
#include "popuptestsupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <unordered_set>

namespace korvane {
namespace {

using test::result;

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
