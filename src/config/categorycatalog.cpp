#include "config/categorycatalog.h"

#include <algorithm>

namespace korvane {
namespace {

const std::map<std::string, CategoryDefinition>& builtInMap() {
    static const std::map<std::string, CategoryDefinition> map = [] {
        std::map<std::string, CategoryDefinition> result;
        for (const auto& definition : CategoryCatalog::builtInCategories()) {
            result.emplace(definition.id, definition);
        }
        return result;
    }();
    return map;
}

CategoryDefinition customDefinition(const CustomProviderConfig& provider) {
    const std::string& scope = provider.scope ? *provider.scope : provider.id;
    CategoryDefinition definition;
    definition.id = provider.id;
    definition.label = provider.label;
    definition.description = provider.description.value_or(provider.label);
    definition.sources = {SnippetSource::custom(provider.id)};
    if (provider.mode == "live") {
        definition.helpText = "Type @" + scope + " to search";
    } else {
        definition.helpText = provider.emptyHint.value_or("Snippets from " + provider.label);
    }
    definition.scopeHint = "@" + scope;
    definition.isCustom = true;
    return definition;
}

} // namespace

std::optional<CategoryDefinition> CategoryCatalogSnapshot::definition(std::string_view id) const {
    const std::string key(id);
    if (auto it = builtIn.find(key); it != builtIn.end()) {
        return it->second;
    }
    if (auto it = custom.find(key); it != custom.end()) {
        return it->second;
    }
    return std::nullopt;
}

std::vector<std::string> CategoryCatalogSnapshot::knownIds(const std::vector<std::string>& ids) const {
    std::vector<std::string> known;
    for (const auto& id : ids) {
        if ((builtIn.contains(id) || custom.contains(id)) &&
            std::find(known.begin(), known.end(), id) == known.end()) {
            known.push_back(id);
        }
    }
    return known;
}

const std::vector<CategoryDefinition>& CategoryCatalog::builtInCategories() {
    using S = SnippetSource;
    static const std::vector<CategoryDefinition> categories{
        {"recent",
         "Recent",
         "Recently used snippets",
         {},
         "Recently used snippets appear here",
         std::nullopt},
        {"files", "Files", "Recent changed files", {S::filePath()}, "Recent changed files from git", "@file"},
        {"app", "App", "App-specific snippets", {S::manual()}, "App-specific snippets from config", "@app"},
        {"manual", "Manual", "Custom snippets", {S::manual()}, "Custom snippets from config", "@user"},
        {"skills",
         "Skills",
         "Agent Skills (Global + Project)",
         {S::claudeSkill()},
         "SKILL.md files from .claude/skills/",
         "@skill"},
        {"git",
         "Git",
         "Branches, tags, remotes",
         {S::gitRef(), S::gitRemote()},
         "Branches and remotes from git",
         "@git"},
        {"docs",
         "Docs",
         "CLAUDE.md, AGENTS.md, README.md",
         {S::aiDoc()},
         "CLAUDE.md, AGENTS.md, README.md",
         "@doc"},
        {"scripts",
         "Scripts",
         "NPM scripts and Makefile commands",
         {S::npmScript(), S::makeTarget()},
         "npm scripts, make/just targets",
         "@npm"},
    };
    return categories;
}

CategoryCatalogSnapshot
CategoryCatalog::makeSnapshot(const std::vector<CustomProviderConfig>& customProviders) {
    CategoryCatalogSnapshot snapshot;
    snapshot.builtIn = builtInMap();
    for (const auto& provider : customProviders) {
        snapshot.custom.insert_or_assign(provider.id, customDefinition(provider));
    }
    return snapshot;
}

const std::vector<std::string>& defaultActiveCategories() {
    static const std::vector<std::string> ids = [] {
        std::vector<std::string> result;
        for (const auto& definition : CategoryCatalog::builtInCategories()) {
            result.push_back(definition.id);
        }
        return result;
    }();
    return ids;
}

const std::vector<SnippetSource>& allBuiltInSources() {
    using S = SnippetSource;
    static const std::vector<SnippetSource> sources{S::manual(),    S::claudeSkill(), S::aiDoc(),
                                                    S::envVar(),    S::gitRef(),      S::gitRemote(),
                                                    S::npmScript(), S::makeTarget(),  S::filePath()};
    return sources;
}

} // namespace korvane
