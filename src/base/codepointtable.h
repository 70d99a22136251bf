#pragma once

#include "base/unicode.h"

#include <array>
#include <cstdint>

namespace korvane {

// The facts about one code point that lower-casing, clustering and segmenting a text ask for, read
// from a table below U+0800 (Latin, Greek, Cyrillic, Hebrew, Arabic: nearly every non-ASCII letter
// of real paths and labels) and from ICU above it. Built once on first use; safe from any thread.
class CodePointTable {
public:
    struct Traits {
        // The simple lower-case mapping.
        char32_t lower = 0;
        // Forms a cluster of its own whatever surrounds it, and is in composed form, so a text of
        // such code points is its own cluster list in NFC.
        bool standsAlone = false;
        // Full lower-casing turns it into `lower` in every context, and `lower` stands alone.
        bool lowersAlone = false;
        CharacterCase letterCase = CharacterCase::uncased;
        // `lower` in UTF-8, padded with zeros, so that scans append it with one fixed-size copy.
        std::array<char, 4> lowerUtf8{};
        std::uint8_t lowerUtf8Length = 0;
    };

    static constexpr char32_t tableEnd = 0x800;

    static const CodePointTable& shared() {
        static const CodePointTable table;
        return table;
    }

    Traits traits(char32_t codePoint) const {
        if (codePoint < tableEnd) {
            const Entry& entry = entries_[codePoint];
            return Traits{entry.lower,
                          (entry.flags & standsAloneFlag) != 0,
                          (entry.flags & lowersAloneFlag) != 0,
                          static_cast<CharacterCase>(entry.letterCase),
                          entry.lowerUtf8,
                          static_cast<std::uint8_t>(entry.flags >> lengthShift)};
        }
        return traitsFromIcu(codePoint);
    }

    // Whether full lower-casing (root locale) maps `codePoint` to something other than its simple
    // lower case in some context: "İ" becomes two code points, "Σ" becomes "ς" at the end of a word.
    static bool lowersInContext(char32_t codePoint) { return codePoint == 0x0130 || codePoint == 0x03A3; }

    // The traits as ICU gives them, for any code point; the table holds these below `tableEnd`.
    static Traits traitsFromIcu(char32_t codePoint);

private:
    static constexpr std::uint8_t standsAloneFlag = 1;
    static constexpr std::uint8_t lowersAloneFlag = 2;
    // The length of the UTF-8 lower case takes the bits from here up.
    static constexpr int lengthShift = 2;

    struct Entry {
        // Lower-case forms of code points below U+0800 all lie below U+10000, in at most three bytes.
        std::uint16_t lower = 0;
        std::uint8_t flags = 0;
        std::uint8_t letterCase = 0;
        // Copied whole into Traits: a copy assembled byte by byte would stall the load that reads it.
        std::array<char, 4> lowerUtf8{};
    };

    CodePointTable();

    std::array<Entry, tableEnd> entries_;
};

} // namespace korvane
