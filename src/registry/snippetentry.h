#pragma once

#include "matcher/indexedsnippet.h"
#include "model/snippet.h"

#include <memory>
#include <string>

namespace korvane {

class LocalizedCollator;

// One snippet of the registry's index: the snippet, its label prepared for matching and the collation
// key of its label, computed once when the snippet is added. The index keeps its entries side by side
// in label order, so a pass over them reads memory in order. Made on the main thread.
struct SnippetEntry {
    // First, so that a pass reads the prepared label from the start of the entry.
    IndexedSnippet indexed;
    // Never null; shared with the search results that show it.
    std::shared_ptr<const Snippet> snippetPointer;
    // Byte order of these keys is the localized case-insensitive order of the labels.
    std::string labelKey;

    const Snippet& snippet() const { return *snippetPointer; }

    // `snippet` must not be null.
    static SnippetEntry make(std::shared_ptr<const Snippet> snippet, const LocalizedCollator& collator);
};

// The entry's snippet, shared, so results can hand it on without a copy.
inline std::shared_ptr<const Snippet> sharedSnippet(const SnippetEntry& entry) {
    return entry.snippetPointer;
}

} // namespace korvane
