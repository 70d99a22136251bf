#pragma once

#include "model/snippet.h"
#include "registry/indexedsnippet.h"

#include <memory>
#include <string>

namespace korvane {

class LocalizedCollator;

// One snippet of the registry's index: the snippet prepared for matching and the collation key of
// its label, both computed once when the snippet is added. The index keeps its entries side by side
// in label order, so a pass over them reads memory in order. Made on the main thread.
struct SnippetEntry {
    IndexedSnippet indexed;
    // Byte order of these keys is the localized case-insensitive order of the labels.
    std::string labelKey;

    const Snippet& snippet() const { return *indexed.snippet; }

    // `snippet` must not be null.
    static SnippetEntry make(std::shared_ptr<const Snippet> snippet, const LocalizedCollator& collator);
};

// The entry's snippet, shared, so results can hand it on without a copy.
inline std::shared_ptr<const Snippet> sharedSnippet(const SnippetEntry& entry) {
    return entry.indexed.snippet;
}

} // namespace korvane
