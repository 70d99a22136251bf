#pragma once

#include "config/categorycatalog.h"
#include "config/scoperegistry.h"
#include "model/snippetsource.h"
#include "popup/scopedefinition.h"

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace korvane {

// The scopes the scope picker offers for a typed scope token: the registry's entries for the offered
// tokens, without the scopes whose sources are all switched off, de-duplicated and filtered by the
// token. Pure; main thread by use.
class ScopeCatalog {
public:
    static std::vector<ScopeDefinition> rows(const std::unordered_set<SnippetSource>& excluded,
                                             const ScopeRegistry& registry,
                                             const std::vector<std::string>& tokens,
                                             const std::optional<CategoryCatalogSnapshot>& catalog,
                                             std::string_view query);

    // The sources a scope selects, as the scope detail panel lists them.
    static std::string sourceLabels(const std::vector<SnippetSource>& sources);
};

} // namespace korvane
