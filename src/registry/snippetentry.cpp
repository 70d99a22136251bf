#include "registry/snippetentry.h"

#include "base/localizedcollator.h"

#include <utility>

namespace korvane {

SnippetEntry SnippetEntry::make(std::shared_ptr<const Snippet> snippet, const LocalizedCollator& collator) {
    SnippetEntry entry;
    entry.labelKey = collator.sortKey(snippet->label);
    entry.indexed = IndexedSnippet(snippet->label);
    entry.snippetPointer = std::move(snippet);
    return entry;
}

} // namespace korvane
