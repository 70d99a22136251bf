#include "matcher/caseoutline.h"

#include "base/asciiblockreader.h"
#include "base/codepointtable.h"
#include "base/unicode.h"

namespace korvane::detail {

bool outlineCases(std::string_view text, std::string& out) {
    // ASCII outlines itself; a block may copy past the ASCII it takes, into room left for it, and
    // what follows overwrites that.
    out.resize(text.size() + AsciiBlockReader::blockSize);
    char* outline = out.data();
    std::size_t clusters = 0;
    const AsciiBlockReader blocks(text);
    const CodePointTable& table = CodePointTable::shared();
    for (std::size_t offset = 0; offset < text.size();) {
        if (const std::size_t ascii = blocks.copyClusters<false>(offset, outline + clusters); ascii > 0) {
            offset += ascii;
            clusters += ascii;
            continue;
        }
        const char lead = text[offset];
        if (static_cast<unsigned char>(lead) < 0x80) {
            outline[clusters++] = lead;
            offset += lead == '\r' && offset + 1 < text.size() && text[offset + 1] == '\n' ? 2u : 1u;
            continue;
        }
        const std::int32_t codePoint = nextCodePoint(text, offset);
        if (codePoint < 0) {
            return false;
        }
        const CodePointTable::Traits traits = table.traits(static_cast<char32_t>(codePoint));
        if (!traits.standsAlone) {
            return false;
        }
        outline[clusters++] = traits.letterCase == CharacterCase::upper   ? 'A'
                              : traits.letterCase == CharacterCase::lower ? 'a'
                                                                          : '*';
    }
    out.resize(clusters);
    return true;
}

} // namespace korvane::detail
