#pragma once

#include "config/customproviderconfig.h"
#include "model/snippetsource.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// One source category the user can switch on: the sources it covers and the texts shown for it.
struct CategoryDefinition {
    std::string id;
    std::string label;
    std::string description;
    std::vector<SnippetSource> sources;
    std::string helpText;
    std::optional<std::string> scopeHint;
    bool isCustom = false;

    bool operator==(const CategoryDefinition&) const = default;
};

// The categories known for one configuration: the built-in ones and one per custom provider.
struct CategoryCatalogSnapshot {
    std::map<std::string, CategoryDefinition> builtIn;
    std::map<std::string, CategoryDefinition> custom;

    // The built-in definition with this id, else the custom one, else none.
    std::optional<CategoryDefinition> definition(std::string_view id) const;
    // The ids of `ids` that name a category here, in their order, each once.
    std::vector<std::string> knownIds(const std::vector<std::string>& ids) const;
};

// The catalog of source categories. Built-in definitions are made once and shared; main thread.
class CategoryCatalog {
public:
    // The eight built-in categories in display order.
    static const std::vector<CategoryDefinition>& builtInCategories();
    static CategoryCatalogSnapshot makeSnapshot(const std::vector<CustomProviderConfig>& customProviders);
};

// The ids of the built-in categories in display order; the active categories when none are configured.
const std::vector<std::string>& defaultActiveCategories();

// Every source without a payload, the ones a category may cover.
const std::vector<SnippetSource>& allBuiltInSources();

} // namespace korvane
