#pragma once

#include "config/categorycatalog.h"
#include "config/scoperegistry.h"
#include "model/snippetsource.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace korvane {

// What searches run against for one configuration: its scopes, its categories, the categories shown
// in browser mode and the sources the user switched off. A value, rebuilt on every configuration load.
struct SearchContext {
    ScopeRegistry scopeRegistry;
    CategoryCatalogSnapshot categoryCatalog;
    std::vector<std::string> activeCategories;
    std::unordered_set<SnippetSource> disabledSources;
};

} // namespace korvane
