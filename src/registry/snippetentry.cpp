#include "registry/snippetentry.h"

#include "base/localizedcollator.h"

#include <utility>

namespace korvane {

std::shared_ptr<const SnippetEntry> SnippetEntry::make(Snippet snippet, const LocalizedCollator& collator) {
    auto entry = std::make_shared<SnippetEntry>();
    entry->labelKey = collator.sortKey(snippet.label);
    entry->indexed = IndexedSnippet(std::move(snippet));
    return entry;
}

} // namespace korvane
