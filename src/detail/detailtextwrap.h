#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Splits a text into the display lines of the detail panel's body, `width` characters (grapheme
// clusters) wide: every line break ends a line ("\r\n" leaves an empty line between its two
// characters), an empty line, or one of spaces alone wider than the width, shows as one space; long
// lines break at spaces (a space joined to a combining mark is not one), the spaces at a break ending
// no display line and beginning none, and words longer than the width are cut. A wrapped line keeps
// its indentation in front of its first word when both fit; a first word that fits only a line of its
// own starts the line uncut. No character is ever split. Time in proportion to the text's length.
// Pure functions; main thread in practice, safe on any.
std::vector<std::string> wrapText(std::string_view text, int width);

// Word-wraps one line longer than `width` into `lines`.
void wrapLine(std::string_view line, std::size_t width, std::vector<std::string>& lines);

// Cuts `word` into pieces of `width` characters, each added to `lines`.
void chunkWord(std::string_view word, std::size_t width, std::vector<std::string>& lines);

} // namespace korvane
