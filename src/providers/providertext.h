#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// The character classes a provider's output is cut and trimmed by. Line breaks are line feed,
// vertical tab, form feed, carriage return, next line, line separator and paragraph separator.
// Blanks are the character tabulation and the Unicode space separators.
bool isProviderLineBreak(char32_t codePoint);
bool isProviderBlank(char32_t codePoint);

// `text` without leading and trailing blanks and line breaks.
std::string_view trimmedWhitespaceAndNewlines(std::string_view text);
// `text` without leading and trailing blanks.
std::string_view trimmedBlanks(std::string_view text);

// The lines of `text`: every line break ends a line by itself, so "\r\n" leaves an empty line
// between its two characters. Text after the last line break is the last line.
std::vector<std::string_view> providerLines(std::string_view text);
// The line of `text` that starts at `offset`, as providerLines cuts them; moves `offset` past the
// line's break, or to npos when it was the last line. Walks the lines without holding their list.
std::string_view nextProviderLine(std::string_view text, std::size_t& offset);

// The first `count` extended grapheme clusters of `text`, as they stand.
std::string graphemePrefix(std::string_view text, std::size_t count);

// Full Unicode upper-casing in the root locale ("ß" becomes "SS").
std::string uppercased(std::string_view text);

} // namespace korvane
