#include "config/mergedconfig.h"

#include "base/diagnostics.h"
#include "config/categorycatalog.h"

#include <algorithm>
#include <set>

namespace korvane {
namespace {

bool contains(const std::vector<std::string>& list, const std::string& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

std::vector<ManualSnippet> mergeSnippets(const std::vector<ManualSnippet>& global,
                                         const std::optional<std::vector<ManualSnippet>>& project) {
    std::vector<ManualSnippet> merged = project.value_or(std::vector<ManualSnippet>{});
    std::set<std::string> projectKeys;
    for (const auto& snippet : merged) {
        projectKeys.insert(snippet.key);
    }
    for (const auto& snippet : global) {
        if (projectKeys.contains(snippet.key)) {
            diagnostic("Project config overrides global snippet: " + snippet.key);
            continue;
        }
        merged.push_back(snippet);
    }
    return merged;
}

std::optional<std::vector<CustomProviderConfig>>
mergeCustomProviders(const std::optional<std::vector<CustomProviderConfig>>& global,
                     const std::optional<std::vector<CustomProviderConfig>>& project) {
    std::vector<CustomProviderConfig> merged = project.value_or(std::vector<CustomProviderConfig>{});
    std::set<std::string> projectIds;
    for (const auto& provider : merged) {
        projectIds.insert(provider.id);
    }
    for (const auto& provider : global.value_or(std::vector<CustomProviderConfig>{})) {
        if (!projectIds.contains(provider.id)) {
            merged.push_back(provider);
        }
    }
    if (merged.empty()) {
        return std::nullopt;
    }
    return merged;
}

} // namespace

MergedConfig MergedConfig::fromGlobal(const AppConfig& global) {
    return MergedConfig{
        .trigger = global.trigger,
        .snippets = global.snippets,
        .settings = global.settings,
        .customProviders = global.customProviders,
        .providers = global.providers,
        .includePaths = std::nullopt,
    };
}

MergedConfig MergedConfig::merge(const AppConfig& global, const ProjectConfig& project) {
    return MergedConfig{
        .trigger = global.trigger,
        .snippets = mergeSnippets(global.snippets, project.snippets),
        .settings = mergeSettings(global.settings, project.settings),
        .customProviders = mergeCustomProviders(global.customProviders, project.customProviders),
        .providers = project.providers ? project.providers : global.providers,
        .includePaths = project.includePaths,
    };
}

SettingsConfig MergedConfig::mergeSettings(const SettingsConfig& global,
                                           const std::optional<ProjectSettingsConfig>& project) {
    SettingsConfig merged = global;
    if (!project) {
        return merged;
    }
    merged.caseSensitive = project->caseSensitive.value_or(global.caseSensitive);
    merged.scanDepth = project->scanDepth.value_or(global.scanDepth);
    merged.ignorePatterns = project->ignorePatterns.value_or(global.ignorePatterns);
    merged.maxBranchAgeDays = project->maxBranchAgeDays.value_or(global.maxBranchAgeDays);
    return merged;
}

std::vector<std::string> resolveActiveCategoryIds(const std::optional<std::vector<std::string>>& providers,
                                                  const std::vector<CustomProviderConfig>& customProviders,
                                                  const std::set<std::string>& hiddenCustomIds) {
    const CategoryCatalogSnapshot catalog = CategoryCatalog::makeSnapshot(customProviders);
    std::vector<std::string> active = catalog.knownIds(providers.value_or(std::vector<std::string>{}));
    if (active.empty()) {
        active = defaultActiveCategories();
    }
    // Custom providers not named are still shown, after everything named, unless the user hid them.
    for (const auto& provider : customProviders) {
        if (!contains(active, provider.id) && !hiddenCustomIds.contains(provider.id) &&
            catalog.definition(provider.id)) {
            active.push_back(provider.id);
        }
    }
    return active;
}

std::vector<std::string> defaultShownCategoryIds(const std::vector<CustomProviderConfig>& commands) {
    std::vector<std::string> ids = defaultActiveCategories();
    for (const auto& command : commands) {
        if (!contains(ids, command.id)) {
            ids.push_back(command.id);
        }
    }
    return ids;
}

std::vector<std::string> userShownCategoryIds(const std::optional<std::vector<std::string>>& providers,
                                              const std::vector<CustomProviderConfig>& commands) {
    std::vector<std::string> shown =
        CategoryCatalog::makeSnapshot(commands).knownIds(providers.value_or(std::vector<std::string>{}));
    return shown.empty() ? defaultShownCategoryIds(commands) : shown;
}

std::set<std::string> commandsHiddenByUser(const AppConfig& global,
                                           const std::optional<ProjectConfig>& project) {
    const auto commands = global.customProviders.value_or(std::vector<CustomProviderConfig>{});
    const std::vector<std::string> shown = userShownCategoryIds(global.providers, commands);
    std::set<std::string> hidden;
    for (const auto& command : commands) {
        if (!contains(shown, command.id)) {
            hidden.insert(command.id);
        }
    }
    if (project && project->customProviders) {
        for (const auto& command : *project->customProviders) {
            hidden.erase(command.id);
        }
    }
    return hidden;
}

} // namespace korvane
