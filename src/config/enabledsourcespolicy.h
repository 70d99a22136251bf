#pragma once

#include "config/categorycatalog.h"
#include "model/snippetsource.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace korvane {

// The active categories of a configuration and the sources they switch on and off.
struct EnabledSourcesSnapshot {
    std::vector<CategoryDefinition> activeCategories;
    std::unordered_set<SnippetSource> enabled;
    std::unordered_set<SnippetSource> disabled;
};

// Turns the ordered ids of the active categories into enabled and disabled sources: a source is
// enabled exactly when an active category covers it. Stateless; main thread.
class EnabledSourcesPolicy {
public:
    static EnabledSourcesSnapshot resolve(const std::vector<std::string>& activeCategories,
                                          const CategoryCatalogSnapshot& catalog);
};

} // namespace korvane
