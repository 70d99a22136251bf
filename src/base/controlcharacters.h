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

    // Whether `text` holds a control character (TAB included), a line or paragraph separator, or bytes
    // that are not UTF-8: such a name is never offered.
    static bool holdsControlOrLineBreak(std::string_view text);
};

} // namespace korvane
