#include "input/injectiontext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <random>

namespace korvane {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

TEST(InjectionTextTest, OnlyTheFirstCaretMarkerIsTakenOut) {
    struct Case {
        const char* expansion;
        InjectionText expected;
    };
    const Case cases[] = {
        {"foo$0bar", {"foobar", "bar"}},
        {"a$0b$0c", {"ab$0c", "b$0c"}},
        {"plain", {"plain", ""}},
        {"$0", {"", ""}},
        {"end$0", {"end", ""}},
        {"$0start", {"start", "start"}},
        {"{\n  $0\n}", {"{\n  \n}", "\n}"}},
        {"$$00", {"$0", "0"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InjectionText::fromExpansion(c.expansion), c.expected) << c.expansion;
    }
}

TEST(InjectionTextTest, ChunksCountUtf16UnitsAndNeverSplitASurrogatePair) {
    struct Case {
        const char* text;
        int chunkSize;
        std::vector<std::string> chunks;
    };
    const Case cases[] = {
        // The tenth unit is the first half of the emoji: nine units, then the pair.
        {"123456789🎉x", 10, {"123456789", "🎉x"}},
        {"1234567890", 10, {"1234567890"}},
        {"12345678901", 10, {"1234567890", "1"}},
        {"abc", 0, {}},
        {"abc", -3, {}},
        {"", 10, {}},
        // A pair that cannot fit a chunk of one unit goes whole instead of ending the typing.
        {"a🎉b", 1, {"a", "🎉", "b"}},
        {"naïve — 東京", 4, {"naïv", "e — ", "東京"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InjectionText::typingChunks(c.text, c.chunkSize), c.chunks) << c.text << " / " << c.chunkSize;
    }
}

// Against a plain reference: the chunks spell the text, each within the size, cut only between
// code points.
TEST(InjectionTextTest, RandomTextsAreChunkedLosslessly) {
    const char* pieces[] = {"a", "é", "東", "🎉", "e\u0301", "\n", "𝄞"};
    std::mt19937 random(7);
    for (int round = 0; round < 500; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 30);
        for (int i = 0; i < length; ++i) {
            text += pieces[random() % std::size(pieces)];
        }
        const int chunkSize = 2 + static_cast<int>(random() % 12);
        std::string joined;
        for (const std::string& chunk : InjectionText::typingChunks(text, chunkSize)) {
            std::u16string units;
            ASSERT_FALSE(chunk.empty());
            for (std::size_t i = 0; i < chunk.size();) {
                const auto lead = static_cast<unsigned char>(chunk[i]);
                const std::size_t width = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
                units.append(width == 4 ? 2 : 1, u'x');
                i += width;
            }
            EXPECT_LE(units.size(), static_cast<std::size_t>(chunkSize)) << text;
            joined += chunk;
        }
        EXPECT_EQ(joined, text);
    }
}

TEST(InjectionTextTest, CodePointsAreCountedNotBytes) {
    EXPECT_EQ(InjectionText::codePointCount("ab"), 2u);
    EXPECT_EQ(InjectionText::codePointCount("é🎉"), 2u);
    EXPECT_EQ(InjectionText::codePointCount("e\u0301"), 2u);
    EXPECT_EQ(InjectionText::codePointCount(""), 0u);
}

} // namespace
} // namespace korvane
