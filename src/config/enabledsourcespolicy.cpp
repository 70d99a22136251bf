#include "config/enabledsourcespolicy.h"

namespace korvane {

EnabledSourcesSnapshot EnabledSourcesPolicy::resolve(const std::vector<std::string>& activeCategories,
                                                     const CategoryCatalogSnapshot& catalog) {
    EnabledSourcesSnapshot snapshot;
    for (const auto& id : activeCategories) {
        // Built-in ids take precedence over a custom category of the same id.
        if (auto definition = catalog.definition(id)) {
            snapshot.enabled.insert(definition->sources.begin(), definition->sources.end());
            snapshot.activeCategories.push_back(std::move(*definition));
        }
    }
    snapshot.disabled.insert(allBuiltInSources().begin(), allBuiltInSources().end());
    for (const auto& [id, definition] : catalog.custom) {
        snapshot.disabled.insert(definition.sources.begin(), definition.sources.end());
    }
    for (const auto& source : snapshot.enabled) {
        snapshot.disabled.erase(source);
    }
    return snapshot;
}

} // namespace korvane
