#pragma once

#include "config/categorycatalog.h"
#include "config/scoperegistry.h"
#include "model/snippetsource.h"
#include "presentation/scopedefinition.h"

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace korvane {

// The scopes the scope picker offers: the scope table's entries turned into definitions, without the
// scopes whose every source is switched off, de-duplicated and filtered by the typed term. Pure; main
// thread.
class ScopeCatalog {
public:
    // What the search side holds and hands on unchanged for every composition.
    struct Inputs {
        std::unordered_set<SnippetSource> excludedSources;
        // Not owned; must outlive the call. None offers no scope.
        const ScopeRegistry* scopeRegistry = nullptr;
        // The primary aliases to offer, usually every canonical token of the registry.
        std::vector<std::string> primaryAliases;
        std::optional<CategoryCatalogSnapshot> categoryCatalog;
    };

    // The definitions to offer for `query` (as typed), in the registry's order.
    static std::vector<ScopeDefinition> rows(const Inputs& inputs, const std::string& query);
};

} // namespace korvane
