#include "matcher/bytesearch.h"

#include "base/graphemetext.h"
#include "matcher/editdistance.h"
#include "matcher/typomatch.h"
#include "matchertesting.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace korvane {
namespace {

std::string randomBytes(std::mt19937& random, std::string_view alphabet, std::size_t maxLength) {
    return test::randomText(random, alphabet, maxLength);
}

// Lengths up to 70 put hits in every lane of the sixteen-byte blocks and in the overlapping last one.
TEST(ByteSearchTest, FindsWhatTheStandardSearchFinds) {
    std::mt19937 random(1207);
    for (int i = 0; i < 20000; ++i) {
        const std::string haystack = randomBytes(random, "abc/.", 70);
        const std::string needle = randomBytes(random, "abc/.", i % 7);
        SCOPED_TRACE("'" + needle + "' in '" + haystack + "'");
        ASSERT_EQ(detail::findBytes(haystack, needle), std::string_view(haystack).find(needle));

        const std::size_t from = haystack.empty() ? 0 : random() % (haystack.size() + 1);
        const std::size_t expected = std::min(haystack.find('c', from), haystack.size());
        ASSERT_EQ(detail::findByteFrom(haystack, 'c', from), expected);
    }
}

TEST(ByteSearchTest, FindsSegmentMarksAtSeparatorsAndUpperCaseOnly) {
    std::mt19937 random(99);
    const std::string marks = "-_/.ABCZ";
    for (int i = 0; i < 5000; ++i) {
        // Neighbours of the marks in byte order ('@', '[', ',', '0', '`') must not count as marks.
        const std::string text = randomBytes(random,
                                             "abz@[,0`\x7f"
                                             "A-_/.Z",
                                             60);
        const std::size_t from = text.empty() ? 0 : random() % (text.size() + 1);
        const std::size_t expected = std::min(text.find_first_of(marks.c_str(), from, 8), text.size());
        ASSERT_EQ(detail::findSegmentMark(text, from), expected) << text << " from " << from;
    }
}

TEST(ByteSearchTest, CopiesFoldedAsciiAndRejectsOtherBytes) {
    struct Case {
        std::string text;
        bool lowerCase;
        bool singleByte;
        std::string copied;
    };
    const std::vector<Case> cases = {
        {"Hello/World.TXT", true, true, "hello/world.txt"},
        {"Hello/World.TXT", false, true, "Hello/World.TXT"},
        {"@AZ[`az{ Mixed CASE over sixteen bytes", true, true, "@az[`az{ mixed case over sixteen bytes"},
        {"line\rbreak without a newline after it", true, true, "line\rbreak without a newline after it"},
        {"a\r\nb", true, false, ""},
        {"a long text that ends with a pair\r\n", true, false, ""},
        {"caf\xc3\xa9", true, false, ""},
        {"a long text with one accent at the end \xc3\xa9", true, false, ""},
        {"", true, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string out(c.text.size(), '\0');
        ASSERT_EQ(detail::copySingleByteClusters(c.text, c.lowerCase, out.data()), c.singleByte);
        if (c.singleByte) {
            EXPECT_EQ(out, c.copied);
        }
    }
}

// The full table, without the band or the early exits.
std::optional<std::size_t> referenceDistance(const std::string& a, const std::string& b, std::size_t max) {
    std::vector<std::vector<std::size_t>> table(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) {
        for (std::size_t j = 0; j <= b.size(); ++j) {
            table[i][j] = i == 0   ? j
                          : j == 0 ? i
                                   : std::min({table[i - 1][j] + 1, table[i][j - 1] + 1,
                                               table[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
        }
    }
    const std::size_t distance = table[a.size()][b.size()];
    return distance <= max ? std::optional<std::size_t>(distance) : std::nullopt;
}

TEST(ByteSearchTest, BandedDistanceAndItsPrefilterAgreeWithTheFullTable) {
    std::mt19937 random(31);
    for (int i = 0; i < 20000; ++i) {
        const std::string a = randomBytes(random, "abcd", 12);
        const std::string b = randomBytes(random, "abcd", 12);
        const std::size_t max = random() % 5;
        SCOPED_TRACE(a + " / " + b + " within " + std::to_string(max));
        const auto expected = referenceDistance(a, b, max);
        ASSERT_EQ(detail::editDistanceWithin(std::string_view(a), std::string_view(b), max), expected);
        if (expected) {
            ASSERT_TRUE(detail::mayBeWithinEdits(a, b, max));
        }
    }
}

// Characters that share a first byte ("é" and "è") or are several bytes long must not be counted as
// missing more often than they are.
TEST(ByteSearchTest, PrefilterNeverRejectsCharactersWithinTheBound) {
    const std::vector<std::string> alphabet = {"a", "é", "è", "ö", "👍🏽", "e\u0301", "b"};
    std::mt19937 random(5);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    const auto randomText = [&] {
        std::string text;
        for (std::size_t n = random() % 9; n > 0; --n) {
            text += alphabet[pick(random)];
        }
        return text;
    };
    for (int i = 0; i < 5000; ++i) {
        const GraphemeText a(randomText());
        const GraphemeText b(randomText());
        const std::size_t max = random() % 4;
        if (detail::editDistanceWithin(a, b, max)) {
            ASSERT_TRUE(detail::mayBeWithinEdits(a, b, max)) << a.bytes() << " / " << b.bytes();
        }
    }
}

} // namespace
} // namespace korvane
