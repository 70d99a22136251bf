#include "matcher/segmentation.h"

#include "base/graphemetext.h"
#include "base/unicode.h"
#include "matcher/segmentbounds.h"
#include "matchertesting.h"

#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace korvane {
namespace {

using Segments = std::vector<SegmentRange>;
constexpr auto start = BoundaryType::start;
constexpr auto camel = BoundaryType::camelCase;
constexpr auto separator = BoundaryType::explicit_;

TEST(SegmentationTest, SplitsAtSeparatorsAndCaseChangesTypedByWhatClosesThem) {
    const std::vector<std::pair<std::string, Segments>> table = {
        {"config.json", {{0, 6, start}, {7, 11, camel}}},
        {"src/main.c", {{0, 3, start}, {4, 8, separator}, {9, 10, camel}}},
        {"fooBarBaz", {{0, 3, start}, {3, 6, camel}, {6, 9, camel}}},
        {"XMLParser", {{0, 3, start}, {3, 9, camel}}},
        {"getJSONValue", {{0, 3, start}, {3, 7, camel}, {7, 12, camel}}},
        {"v2Beta", {{0, 6, start}}},
        {"", {}},
        {"--", {}},
        {"a--b__c", {{0, 1, start}, {3, 4, separator}, {6, 7, camel}}},
        {"/usr/", {{1, 4, separator}}},
        {"my snippet", {{0, 10, start}}},
        {"ABC", {{0, 3, start}}},
        {"aB", {{0, 1, start}, {1, 2, camel}}},
    };
    for (const auto& [text, expected] : table) {
        SCOPED_TRACE(text);
        EXPECT_EQ(segmentRanges(text), expected);
    }
}

TEST(SegmentationTest, CountsClustersAndUsesUnicodeCase) {
    // "Crème" spelt with a combining grave accent is still five characters.
    EXPECT_EQ(segmentRanges("café-Cre\u0300me"), (Segments{{0, 4, start}, {5, 10, camel}}));
    EXPECT_EQ(segmentRanges("étéHiver"), (Segments{{0, 3, start}, {3, 8, camel}}));
    EXPECT_EQ(segmentRanges("ÉTÉhiver"), (Segments{{0, 2, start}, {2, 8, camel}}));
    EXPECT_EQ(segmentRanges("ÜBERSicht"), (Segments{{0, 4, start}, {4, 9, camel}}));
    // An emoji with a skin-tone modifier is one uncased character.
    EXPECT_EQ(segmentRanges("👍🏽-deployNow"), (Segments{{0, 1, start}, {2, 8, camel}, {8, 11, camel}}));
    EXPECT_EQ(segmentRanges("日本語.txt"), (Segments{{0, 3, start}, {4, 7, camel}}));
}

using test::randomText;

// A lookup over a text of `length` units finds, at every position, exactly the segment that the full
// segmentation starts there, and nothing where none starts.
template <class Lookup>
void expectAgreesWithSegments(const Lookup& lookup, const Segments& segments, std::size_t length) {
    for (std::size_t position = 0; position <= length; ++position) {
        ASSERT_EQ(lookup.segmentAt(position), detail::SegmentListLookup(segments).segmentAt(position))
            << "at " << position;
    }
}

// The matcher asks the lookup only where a query occurs; it must see there exactly the segment that
// a full segmentation finds, and nothing where none begins.
TEST(SegmentationTest, AsciiLookupAgreesWithFullSegmentationAtEveryPosition) {
    const std::vector<std::string> alphabet = {"a", "b", "c", "X", "Y", "Z", "1", "9", "-",
                                               "_", "/", ".", " ", "@", "[", "`", "{"};
    std::mt19937 random(42);
    for (int i = 0; i < 3000; ++i) {
        const std::string text = randomText(random, alphabet, 40);
        SCOPED_TRACE(text);
        const Segments segments = segmentRanges(text);
        expectAgreesWithSegments(detail::AsciiSegmentLookup(text), segments, text.size());
        ASSERT_FALSE(HasFatalFailure());
    }
}

// Prepared labels keep only where their segments start and end, and find the rest in the lower-cased
// label.
TEST(SegmentationTest, BoundBitsOverTheLoweredTextAgreeWithTheSegmentList) {
    const std::vector<std::string> alphabet = {"a", "b", "X", "Y", "É", "é", "ß",        "Ω",      "ω",
                                               "1", "-", "_", "/", ".", " ", "👍🏽", "e\u0301"};
    std::mt19937 random(43);
    for (int i = 0; i < 2000; ++i) {
        const std::string text = randomText(random, alphabet, 30);
        SCOPED_TRACE(text);
        const Segments segments = segmentRanges(text);
        const GraphemeText lowered(lowercased(text));
        const SegmentBounds bounds(segments, lowered.size());
        ASSERT_TRUE(bounds.valid());
        expectAgreesWithSegments(detail::SegmentBoundsLookup(bounds, lowered), segments, lowered.size());
        ASSERT_FALSE(HasFatalFailure());
    }
}

} // namespace
} // namespace korvane
