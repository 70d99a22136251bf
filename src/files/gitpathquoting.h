#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// A path as git prints it in a listing or status line: a name with unusual bytes comes wrapped in
// double quotes with C-style escapes ("caf\303\251.txt"). Returns the path itself, or nothing when its
// bytes are not UTF-8 (such a name cannot be shown or inserted as it is) or the quoting is broken.
std::optional<std::string> decodeGitPath(std::string_view printed);

// The length of the quoted token at the start of `text` (both quotes included), or 0 when `text`
// does not begin with a complete quoted token.
std::size_t quotedTokenLength(std::string_view text);

} // namespace korvane
