#include "base/codepointtable.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvane {
namespace {

// A lower-case form that did not fit its slot or a flag in the wrong bit would silently change how
// every text with that letter is clustered and matched.
TEST(CodePointTableTest, TableHoldsWhatIcuSaysForEveryCodePointItCovers) {
    const CodePointTable& table = CodePointTable::shared();
    for (char32_t codePoint = 0; codePoint < CodePointTable::tableEnd; ++codePoint) {
        SCOPED_TRACE(std::to_string(codePoint));
        const CodePointTable::Traits fromTable = table.traits(codePoint);
        const CodePointTable::Traits fromIcu = CodePointTable::traitsFromIcu(codePoint);
        ASSERT_EQ(fromTable.lower, fromIcu.lower);
        ASSERT_EQ(fromTable.standsAlone, fromIcu.standsAlone);
        ASSERT_EQ(fromTable.lowersAlone, fromIcu.lowersAlone);
        ASSERT_EQ(fromTable.letterCase, fromIcu.letterCase);
        ASSERT_EQ(fromTable.lowerUtf8, fromIcu.lowerUtf8);
        ASSERT_EQ(fromTable.lowerUtf8Length, fromIcu.lowerUtf8Length);
    }
}

TEST(CodePointTableTest, TellsWhichCodePointsStandAloneAndLowerAlone) {
    struct Case {
        char32_t codePoint;
        char32_t lower;
        bool standsAlone;
        bool lowersAlone;
        CharacterCase letterCase;
    };
    const std::vector<Case> cases = {
        {U'A', U'a', true, true, CharacterCase::upper},
        {U'\n', U'\n', true, true, CharacterCase::uncased},
        {U'\r', U'\r', false, false, CharacterCase::uncased}, // joins a following LF
        {U'é', U'é', true, true, CharacterCase::lower},
        {U'É', U'é', true, true, CharacterCase::upper},
        {0x0301, 0x0301, false, false, CharacterCase::uncased}, // a combining accent
        {0x0130, U'i', true, false, CharacterCase::upper},      // "İ" lower-cases to two code points
        {0x03A3, 0x03C3, true, false, CharacterCase::upper},    // "Σ" depends on where the word ends
        {0x023A, 0x2C65, true, true, CharacterCase::upper},     // lower case beyond the table
        {0x212A, U'k', false, true, CharacterCase::upper},      // the Kelvin sign is not in NFC
        {0x1100, 0x1100, false, false, CharacterCase::uncased}, // a Hangul jamo joins its syllable
        {U'中', U'中', true, true, CharacterCase::uncased},
        {0x10400, 0x10428, true, true, CharacterCase::upper},
    };
    const CodePointTable& table = CodePointTable::shared();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.codePoint));
        const CodePointTable::Traits traits = table.traits(c.codePoint);
        EXPECT_EQ(traits.lower, c.lower);
        EXPECT_EQ(traits.standsAlone, c.standsAlone);
        EXPECT_EQ(traits.lowersAlone, c.lowersAlone);
        EXPECT_EQ(traits.letterCase, c.letterCase);
        char expectedUtf8[4] = {};
        EXPECT_EQ(std::string_view(traits.lowerUtf8.data(), traits.lowerUtf8Length),
                  std::string_view(expectedUtf8, encodeUtf8(c.lower, expectedUtf8)));
    }
}

} // namespace
} // namespace korvane
