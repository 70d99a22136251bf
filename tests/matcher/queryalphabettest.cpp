#include "matcher/queryalphabet.h"

#include "base/unicode.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace korvane {
namespace {

std::optional<std::string> spelling(const QueryAlphabet& alphabet, std::string_view text,
                                    bool caseSensitive) {
    std::string buffer;
    const auto spelt = alphabet.spell(text, caseSensitive, buffer);
    return spelt ? std::optional<std::string>(*spelt) : std::nullopt;
}

TEST(QueryAlphabetTest, SpellsQueryCharactersApartAndEveryOtherCharacterAlike) {
    QueryAlphabet alphabet;
    // "Σ" lower-cases by context; the query comes in folded, as the matcher compares it.
    ASSERT_TRUE(alphabet.assign(GraphemeText(lowercased("ÉtéΩ"))));
    EXPECT_EQ(alphabet.queryBytes(), "\x80t\x80\x81");
    EXPECT_EQ(spelling(alphabet, "Étés/Ω-ö.Ж", false), "\x80t\x80s/\x81-\xFF.\xFF");
    EXPECT_EQ(spelling(alphabet, "Étés", true), "\xFFt\x80s");
    // The Kelvin sign lower-cases to ASCII, but is no cluster of its own as typed.
    EXPECT_EQ(spelling(alphabet, "\u212Aé", false), "k\x80");
    EXPECT_EQ(spelling(alphabet, "\u212Aé", true), std::nullopt);
    EXPECT_EQ(spelling(alphabet, "", false), "");
}

TEST(QueryAlphabetTest, LeavesTextsAndQueriesWithoutOneCodePointPerCharacterToTheClusters) {
    QueryAlphabet alphabet;
    alphabet.assign(std::string_view("ab"));
    EXPECT_EQ(spelling(alphabet, "cafe\u0301", false), std::nullopt); // a combining accent
    EXPECT_EQ(spelling(alphabet, "a\r\nb", false), std::nullopt);     // a CR LF pair is one character
    EXPECT_EQ(spelling(alphabet, "İa", false), std::nullopt);         // lower-cases to two code points
    EXPECT_EQ(spelling(alphabet, "ΣΑΣ", false), std::nullopt);        // the last one becomes "ς"
    EXPECT_EQ(spelling(alphabet, "a\xC3", false), std::nullopt);      // cut short
    EXPECT_EQ(spelling(alphabet, "👍🏽", false), std::nullopt);

    EXPECT_FALSE(alphabet.assign(GraphemeText("x👍🏽")));
    // More distinct characters than bytes to spell them.
    std::string manyCharacters;
    for (char32_t codePoint = 0x4E00; codePoint < 0x4E00 + 130; ++codePoint) {
        char utf8[4];
        manyCharacters.append(utf8, encodeUtf8(codePoint, utf8));
    }
    EXPECT_FALSE(alphabet.assign(GraphemeText(manyCharacters)));
    EXPECT_TRUE(alphabet.assign(GraphemeText(manyCharacters.substr(0, 3 * 127))));
}

} // namespace
} // namespace korvane
