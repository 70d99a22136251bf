#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvane {

// Keeps terminal control out of what Korvane types or offers. Any text from a project or the clipboard
// can hold an escape sequence; typed into a terminal, one could end a bracketed paste early and run
// what follows. Stateless; any thread.
class ControlCharacters {
public:
    struct Stripped {
        std::string text;
        // Characters (and undecodable bytes) left out; line endings made LF do not count.
        std::size_t removed = 0;
    };

    // `text` without ESC, the other C0 controls except TAB and LF, DEL, the C1 controls and bytes
    // that are not UTF-8; CR LF and a lone CR become LF.
    static Stripped strip(std::string_view text);

    // Whether `text` holds a control character (TAB and the bidirectional controls included), a line or
    // paragraph separator, or bytes that are not UTF-8: such a name is never offered.
    static bool holdsControlOrLineBreak(std::string_view text);

    // Whether `text` holds a line break: LF, CR, VT, FF, NEL, or the line or paragraph separator.
    static bool holdsLineBreak(std::string_view text);

    // `text` without its bidirectional controls (the embeddings, overrides and isolates U+202A-U+202E
    // and U+2066-U+2069), anything else as it was. The user's own right-to-left text needs them; a
    // project's text does not.
    static std::string withoutBidiControls(std::string_view text);
};

} // namespace korvane
