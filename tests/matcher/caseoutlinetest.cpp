#include "matcher/caseoutline.h"

#include "base/graphemetext.h"
#include "matcher/segmentation.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace korvane {
namespace {

TEST(CaseOutlineTest, SpellsEachClusterAsOneByteOfItsCase) {
    std::string outline;
    ASSERT_TRUE(detail::outlineCases("Été-ßΩ中x\r\n/", outline));
    EXPECT_EQ(outline, "Ata-aA*x\r/");
    // A combining accent joins its letter and an emoji modifier its emoji: no outline.
    EXPECT_FALSE(detail::outlineCases("Cafe\u0301", outline));
    EXPECT_FALSE(detail::outlineCases("👍🏽", outline));
    EXPECT_FALSE(detail::outlineCases("a\xff", outline));
    ASSERT_TRUE(detail::outlineCases("", outline));
    EXPECT_EQ(outline, "");
}

// Whenever there is an outline, segmenting it as bytes must give the text's segments in clusters.
TEST(CaseOutlineTest, OutlineSegmentsLikeTheClustersOnRandomText) {
    const std::vector<std::string> alphabet = {"a", "B", "é", "É", "ß", "ẞ", "Σ", "ς",  "Я",  "ж",      "中",
                                               "ǅ", "1", "-", "_", "/", ".", " ", "\r", "\n", "e\u0301"};
    std::mt19937 random(11);
    std::string outline;
    for (int i = 0; i < 4000; ++i) {
        std::string text;
        for (std::size_t n = random() % 14; n > 0; --n) {
            text += alphabet[random() % alphabet.size()];
        }
        SCOPED_TRACE(text);
        const GraphemeText clusters(text);
        std::vector<SegmentRange> expected;
        detail::collectSegments(clusters, expected);
        if (!detail::outlineCases(text, outline)) {
            ASSERT_NE(text.find("\u0301"), std::string::npos);
            continue;
        }
        ASSERT_EQ(outline.size(), clusters.size());
        std::vector<SegmentRange> segments;
        detail::collectSegments(std::string_view(outline), segments);
        ASSERT_EQ(segments, expected);
    }
}

} // namespace
} // namespace korvane
