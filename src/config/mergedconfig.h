#pragma once

#include "config/appconfig.h"
#include "config/customproviderconfig.h"
#include "config/manualsnippet.h"
#include "config/projectconfig.h"
#include "config/settingsconfig.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korvane {

// The configuration the rest of Korvane reads: the global file with the current project's file laid
// over it. Application snippet sets are not part of it; they come from the global file alone.
struct MergedConfig {
    std::string trigger;
    std::vector<ManualSnippet> snippets;
    SettingsConfig settings;
    std::optional<std::vector<CustomProviderConfig>> customProviders;
    std::optional<std::vector<std::string>> providers;
    std::optional<std::vector<std::string>> includePaths;

    // The merge when no project file is loaded.
    static MergedConfig fromGlobal(const AppConfig& global);
    // Project snippets and custom providers come first and replace global ones of the same key or id;
    // each replaced global snippet is logged.
    static MergedConfig merge(const AppConfig& global, const ProjectConfig& project);
    // Only the four search and scan settings of a project replace the global ones.
    static SettingsConfig mergeSettings(const SettingsConfig& global,
                                        const std::optional<ProjectSettingsConfig>& project);

    bool operator==(const MergedConfig&) const = default;
};

// The ordered ids of the source categories to show: the known ids of `providers` without repeats
// (the default order when that leaves nothing), then every custom provider not yet listed and not in
// `hiddenCustomIds`.
std::vector<std::string> resolveActiveCategoryIds(const std::optional<std::vector<std::string>>& providers,
                                                  const std::vector<CustomProviderConfig>& customProviders,
                                                  const std::set<std::string>& hiddenCustomIds = {});

// Every built-in category in the default order, then every command of `commands` not among them.
std::vector<std::string> defaultShownCategoryIds(const std::vector<CustomProviderConfig>& commands);

// The ordered ids of the categories the user's own `providers` list shows, among the built-in ones and
// the user's `commands`: its known ids without repeats, or defaultShownCategoryIds when it names none.
// The settings window shows these; the popup shows these too when no project has a say.
std::vector<std::string> userShownCategoryIds(const std::optional<std::vector<std::string>>& providers,
                                              const std::vector<CustomProviderConfig>& commands);

// The ids of the user's own commands that the user's own `providers` list hides: those
// userShownCategoryIds leaves out. A project command of the same id replaces the user's and is not
// hidden by it.
std::set<std::string> commandsHiddenByUser(const AppConfig& global,
                                           const std::optional<ProjectConfig>& project);

} // namespace korvane
