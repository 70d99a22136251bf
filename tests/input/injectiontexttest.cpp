#include "input/injectiontext.h"

#include "base/unicode.h"

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

TEST(InjectionTextTest, ControlCharactersNeverReachTheTarget) {
    struct Case {
        std::string expansion;
        std::string text;
        std::size_t removed;
    };
    const Case cases[] = {
        {"sig\x1b[201~\ntouch marker\n", "sig[201~\ntouch marker\n", 1},
        {"a\tb\nc", "a\tb\nc", 0},
        {"a\r\nb\rc", "a\nb\nc", 0},
        {std::string("n\0u\x07l\x7f", 6) + "\xc2\x9b" + "1;2H", "nul1;2H", 4},
        {"bad\xff\xc3"
         "byte\xc3\xa9",
         "badbyte\xc3\xa9", 2},
        {"\x1b$0\x1b]0;x\x07", "]0;x", 3},
    };
    for (const Case& c : cases) {
        const InjectionText prepared = InjectionText::fromExpansion(c.expansion);
        EXPECT_EQ(prepared.text, c.text) << c.expansion;
        EXPECT_EQ(prepared.removedControls, c.removed) << c.expansion;
    }
}

// Against a plain reference over random text: whatever the bytes, what remains is UTF-8 with no control
// but TAB and LF, and every other character is kept in order.
TEST(InjectionTextTest, StrippedTextMatchesAPlainReference) {
    std::mt19937 random(7);
    const char32_t alphabet[] = {'a',  ' ',  '\t', '\n', '\r',   0x1B,   0x00,
                                 0x7F, 0x85, 0x9B, 0xE9, 0x2028, 0x1F600};
    for (int round = 0; round < 2000; ++round) {
        std::u32string characters;
        for (int i = random() % 12; i > 0; --i) {
            characters.push_back(alphabet[random() % std::size(alphabet)]);
        }
        std::string text;
        std::string expected;
        for (std::size_t i = 0; i < characters.size(); ++i) {
            const char32_t c = characters[i];
            char buffer[4];
            text.append(buffer, encodeUtf8(c, buffer));
            if (c == '\r') {
                if (i + 1 >= characters.size() || characters[i + 1] != '\n') {
                    expected.push_back('\n');
                }
            } else if (c == '\t' || c == '\n' || (c >= 0x20 && c < 0x7F) || c > 0x9F) {
                expected.append(buffer, encodeUtf8(c, buffer));
            }
        }
        EXPECT_EQ(InjectionText::fromExpansion(text).text, expected);
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
