#pragma once

#include "base/textrange.h"
#include "model/snippet.h"

#include <memory>

namespace korvane {

// A snippet with the character ranges of its label that matched the query. The snippet is shared
// rather than copied: a search can return thousands of results per keystroke, and the snippets are
// immutable once indexed.
struct SearchResult {
    std::shared_ptr<const Snippet> snippet;
    TextRanges matchRanges;
};

} // namespace korvane
