#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Text from a project as a confirmation shows it, so that nothing in it can hide, reorder or pass for
// something else: a line feed ends its shown line with "↵", and every other control character (the
// other line breaks, which end their line too, among them), bidirectional controls, invisible and
// format characters, spaces other than U+0020, long runs of combining marks and bytes that are not
// UTF-8 are written as escapes such as "<U+001B>", "<U+202E>" and "<0xFF>"; a long run of spaces is
// counted, as "<300 spaces>". Long lines wrap; where the lines are bounded, what does not fit is counted
// on a last line; a line may end between words. Stateless; any thread.
class VisibleText {
public:
    struct Limits {
        std::size_t lines = 1;
        // Shown characters per line, an escape counting for each of its characters.
        std::size_t width = 80;
        // Whether a line ends after a space rather than within a word, where the line holds one.
        bool betweenWords = false;
    };

    // `text` on at most `limits.lines` shown lines, then, when something was left out, one line that
    // says how much.
    static std::vector<std::string> lines(std::string_view text, Limits limits);
    // All of `text`, wrapped at `width`.
    static std::vector<std::string> lines(std::string_view text, std::size_t width);

    // `text` on one line, its line breaks shown only as their signs, at most `width` characters
    // followed, when something was left out, by a note saying how much.
    static std::string line(std::string_view text, std::size_t width);
    // All of `text` on one line, its line breaks shown only as their signs.
    static std::string line(std::string_view text);
};

} // namespace korvane
