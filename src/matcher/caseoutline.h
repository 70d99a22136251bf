#pragma once

#include <string>
#include <string_view>

namespace korvane::detail {

// Writes to `out` one byte per grapheme cluster of `text` as typed, keeping what segmenting reads of
// it: ASCII stays as it is (a CR LF pair as its CR), and a non-ASCII cluster becomes 'A', 'a' or '*'
// by its letter case. The ASCII segmenter walks the outline to the same segments, in clusters, as
// the cluster segmenter walks the text. Returns false, with `out` unspecified, unless every code
// point of `text` is a cluster of its own, which spares a cluster split of the common text.
bool outlineCases(std::string_view text, std::string& out);

} // namespace korvane::detail
