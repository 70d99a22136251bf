#include "base/codepointtable.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>

namespace korvane {
namespace {

bool standsAlone(char32_t codePoint) {
    // In ASCII only CR joins a neighbour (the LF after it); every other byte is a cluster.
    if (codePoint < 0x80) {
        return codePoint != U'\r';
    }
    // No combining mark, joiner, modifier, regional indicator, Hangul jamo or other character that
    // the cluster rules attach to a neighbour, and nothing that composes with its predecessor.
    const auto value = static_cast<UChar32>(codePoint);
    return u_getIntPropertyValue(value, UCHAR_GRAPHEME_CLUSTER_BREAK) == U_GCB_OTHER &&
           u_getIntPropertyValue(value, UCHAR_NFC_QUICK_CHECK) == UNORM_YES;
}

} // namespace

CodePointTable::CodePointTable() {
    for (char32_t codePoint = 0; codePoint < tableEnd; ++codePoint) {
        const Traits traits = traitsFromIcu(codePoint);
        Entry& entry = entries_[codePoint];
        entry.lower = static_cast<std::uint16_t>(traits.lower);
        entry.flags = static_cast<std::uint8_t>((traits.standsAlone ? standsAloneFlag : 0) |
                                                (traits.lowersAlone ? lowersAloneFlag : 0) |
                                                (traits.lowerUtf8Length << lengthShift));
        entry.letterCase = static_cast<std::uint8_t>(traits.letterCase);
        entry.lowerUtf8 = traits.lowerUtf8;
    }
}

CodePointTable::Traits CodePointTable::traitsFromIcu(char32_t codePoint) {
    const auto value = static_cast<UChar32>(codePoint);
    Traits traits;
    traits.lower = static_cast<char32_t>(u_tolower(value));
    traits.standsAlone = standsAlone(codePoint);
    traits.lowersAlone = !lowersInContext(codePoint) && standsAlone(traits.lower);
    traits.lowerUtf8Length = static_cast<std::uint8_t>(encodeUtf8(traits.lower, traits.lowerUtf8.data()));
    traits.letterCase = u_isULowercase(value)   ? CharacterCase::lower
                        : u_isUUppercase(value) ? CharacterCase::upper
                                                : CharacterCase::uncased;
    return traits;
}

} // namespace korvane
