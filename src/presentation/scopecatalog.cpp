#include "presentation/scopecatalog.h"

#include "base/unicode.h"

#include <algorithm>
#include <set>

namespace korvane {
namespace {

constexpr std::string_view kWhitespace = " \t\n\r\v\f";

std::vector<SnippetSource> sourcesOf(const ScopeSpec& spec) {
    if (const auto* source = spec.asSource()) {
        return {*source};
    }
    if (const auto* sources = spec.asMultiSource()) {
        return *sources;
    }
    if (const auto* filter = spec.asFilter()) {
        if (*filter == ScopeFilter::urlOnly) {
            return {SnippetSource::manual(), SnippetSource::gitRemote()};
        }
        return {SnippetSource::manual()};
    }
    return {};
}

bool matchesQuery(const ScopeDefinition& definition, const std::string& needle) {
    for (const auto& alias : definition.aliases) {
        if (alias.starts_with(needle)) {
            return true;
        }
    }
    return lowercased(definition.title).find(needle) != std::string::npos;
}

} // namespace

std::vector<ScopeDefinition> ScopeCatalog::rows(const Inputs& inputs, const std::string& query) {
    std::vector<ScopeDefinition> definitions;
    std::set<std::string> seen;
    if (!inputs.scopeRegistry) {
        return definitions;
    }
    for (const auto& entry : inputs.scopeRegistry->entries(inputs.primaryAliases)) {
        auto sources = sourcesOf(entry.spec);
        if (entry.aliases.empty() || sources.empty()) {
            continue;
        }
        const bool allExcluded = std::all_of(sources.begin(), sources.end(), [&](const SnippetSource& source) {
            return inputs.excludedSources.contains(source);
        });
        if (allExcluded) {
            continue;
        }
        std::string title = entry.title;
        std::string description = entry.description;
        const bool hintsCustom = std::any_of(entry.sourceHints.begin(), entry.sourceHints.end(),
                                             [](const SnippetSource& source) { return source.isCustom(); });
        if (hintsCustom && entry.customProviderID && inputs.categoryCatalog) {
            if (auto definition = inputs.categoryCatalog->definition(*entry.customProviderID)) {
                title = definition->label;
                description = definition->description;
            }
        }
        if (!seen.insert(entry.id + "|" + entry.aliases.front()).second) {
            continue;
        }
        definitions.push_back(ScopeDefinition{entry.id, entry.aliases.front(), entry.aliases, std::move(title),
                                              std::move(description), std::move(sources)});
    }
    const std::string needle = lowercased(trimmedAscii(query, kWhitespace));
    if (needle.empty()) {
        return definitions;
    }
    std::vector<ScopeDefinition> kept;
    for (auto& definition : definitions) {
        if (matchesQuery(definition, needle)) {
            kept.push_back(std::move(definition));
        }
    }
    return kept;
}

} // namespace korvane
