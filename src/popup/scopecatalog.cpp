#include "popup/scopecatalog.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

namespace korvane {
namespace {

std::vector<SnippetSource> specSources(const ScopeSpec& spec) {
    if (const SnippetSource* source = spec.asSource()) {
        return {*source};
    }
    if (const auto* sources = spec.asMultiSource()) {
        return *sources;
    }
    switch (*spec.asFilter()) {
    case ScopeFilter::urlOnly:
        return {SnippetSource::manual(), SnippetSource::gitRemote()};
    case ScopeFilter::appScoped:
        return {SnippetSource::manual()};
    }
    return {};
}

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && blank(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

std::vector<ScopeDefinition> ScopeCatalog::rows(const std::unordered_set<SnippetSource>& excluded,
                                                const ScopeRegistry& registry,
                                                const std::vector<std::string>& tokens,
                                                const std::optional<CategoryCatalogSnapshot>& catalog,
                                                std::string_view query) {
    std::vector<ScopeDefinition> definitions;
    std::unordered_set<std::string> seen;
    for (const ScopeEntry& entry : registry.entries(tokens)) {
        std::vector<SnippetSource> sources = specSources(entry.spec);
        if (entry.aliases.empty() || sources.empty()) {
            continue;
        }
        if (std::all_of(sources.begin(), sources.end(),
                        [&](const SnippetSource& source) { return excluded.contains(source); })) {
            continue;
        }
        std::string title = entry.title;
        std::string description = entry.description;
        const bool fromCustomProvider =
            std::any_of(entry.sourceHints.begin(), entry.sourceHints.end(),
                        [](const SnippetSource& source) { return source.isCustom(); });
        if (fromCustomProvider && entry.customProviderID && catalog) {
            if (const auto definition = catalog->definition(*entry.customProviderID)) {
                title = definition->label;
                description = definition->description;
            }
        }
        if (!seen.insert(entry.id + "|" + entry.aliases.front()).second) {
            continue;
        }
        definitions.push_back(ScopeDefinition{entry.id, entry.aliases.front(), entry.aliases,
                                              std::move(title), std::move(description), std::move(sources)});
    }

    const std::string needle = lowered(trimmed(query));
    if (needle.empty()) {
        return definitions;
    }
    std::vector<ScopeDefinition> kept;
    for (auto& definition : definitions) {
        const bool byAlias = std::any_of(definition.aliases.begin(), definition.aliases.end(),
                                         [&](const std::string& alias) { return alias.starts_with(needle); });
        if (byAlias || lowered(definition.title).find(needle) != std::string::npos) {
            kept.push_back(std::move(definition));
        }
    }
    return kept;
}

std::string ScopeCatalog::sourceLabels(const std::vector<SnippetSource>& sources) {
    std::string text;
    for (const SnippetSource& source : sources) {
        if (!text.empty()) {
            text += ", ";
        }
        text += source.badgeLabel();
    }
    return text;
}

} // namespace korvane
