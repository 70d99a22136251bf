#include "registry/sectionbuilder.h"

#include "registry/historyreader.h"

#include <algorithm>
#include <utility>

namespace korvane {
namespace {

bool isAppSnippet(const Snippet& snippet) {
    return snippet.source == SnippetSource::manual() && snippet.scope == SnippetScope::app;
}

bool covers(const std::vector<SnippetSource>& sources, const SnippetSource& source) {
    return std::find(sources.begin(), sources.end(), source) != sources.end();
}

SearchResult unhighlighted(const SectionBuilder::SharedSnippet& snippet) {
    return SearchResult{snippet, {}};
}

const Snippet& snippetOf(const SectionBuilder::SharedSnippet& snippet) {
    return *snippet;
}

} // namespace

SectionBuilder::SectionBuilder(std::vector<SharedSnippet> snippets,
                               std::unordered_set<SnippetSource> disabledSources,
                               FrecencyScoreFunction frecencyScore, LastUsedDateFunction lastUsedDate,
                               std::optional<std::string> projectName,
                               std::optional<CategoryCatalogSnapshot> catalog, const Clock& clock)
    : categoryCatalog(std::move(catalog))
    , snippets_(std::move(snippets))
    , disabledSources_(std::move(disabledSources))
    , frecencyScore_(std::move(frecencyScore))
    , lastUsedDate_(std::move(lastUsedDate))
    , projectName_(std::move(projectName))
    , clock_(&clock) {}

std::vector<Snippet> SectionBuilder::snippets() const {
    std::vector<Snippet> result;
    result.reserve(snippets_.size());
    for (const SharedSnippet& snippet : snippets_) {
        result.push_back(*snippet);
    }
    return result;
}

std::vector<SnippetSection> SectionBuilder::buildSections(const std::vector<std::string>& categoryIds) const {
    std::vector<SnippetSection> sections;
    for (const std::string& id : categoryIds) {
        if (auto found = definition(id)) {
            sections.push_back(makeSection(*found));
        }
    }
    return sections;
}

std::optional<CategoryDefinition> SectionBuilder::definition(const std::string& id) const {
    for (const CategoryDefinition& builtIn : CategoryCatalog::builtInCategories()) {
        if (builtIn.id == id) {
            return builtIn;
        }
    }
    if (categoryCatalog) {
        if (auto it = categoryCatalog->custom.find(id); it != categoryCatalog->custom.end()) {
            return it->second;
        }
    }
    return std::nullopt;
}

SnippetSection SectionBuilder::makeSection(const CategoryDefinition& definition) const {
    const bool isRecent = definition.id == "recent";
    SnippetSection section(definition.id, definition.label,
                           isRecent ? allBuiltInSources() : definition.sources);
    section.scopeHint = definition.scopeHint;
    if (definition.id == "files") {
        // The search side fills this section with recently changed files itself.
        section.helpText = definition.helpText;
        return section;
    }
    if (isRecent) {
        section.results = recentSnippets(recentSectionLimit);
    } else {
        section.results = inSectionOrder(categoryItems(definition));
        section.totalCount = section.results.size();
    }
    if (section.results.empty()) {
        section.helpText = definition.helpText;
    }
    return section;
}

std::vector<SectionBuilder::SharedSnippet>
SectionBuilder::categoryItems(const CategoryDefinition& definition) const {
    std::vector<SharedSnippet> items;
    for (const SharedSnippet& shared : snippets_) {
        const Snippet& snippet = *shared;
        bool belongs = false;
        if (definition.id == "app") {
            belongs = isAppSnippet(snippet);
        } else if (definition.id == "manual") {
            belongs = snippet.source == SnippetSource::manual() && !isAppSnippet(snippet);
        } else {
            belongs = covers(definition.sources, snippet.source) && !isAppSnippet(snippet);
        }
        if (belongs) {
            items.push_back(shared);
        }
    }
    return items;
}

std::vector<SearchResult> SectionBuilder::inSectionOrder(std::vector<SharedSnippet> snippets) const {
    SectionOrder(frecencyScore_, lastUsedDate_, clock_->now()).sort(snippets, snippetOf);
    std::vector<SearchResult> results;
    results.reserve(snippets.size());
    for (const SharedSnippet& snippet : snippets) {
        results.push_back(unhighlighted(snippet));
    }
    return results;
}

std::vector<SearchResult> SectionBuilder::urlSnippets(std::size_t limit) const {
    std::vector<SharedSnippet> urls;
    for (const SharedSnippet& snippet : snippets_) {
        if (snippet->isUrlSnippet() && !isDisabled(snippet->source)) {
            urls.push_back(snippet);
        }
    }
    SectionOrder(frecencyScore_, lastUsedDate_, clock_->now()).sort(urls, snippetOf);
    urls.resize(std::min(limit, urls.size()));
    std::vector<SearchResult> results;
    for (const SharedSnippet& snippet : urls) {
        results.push_back(unhighlighted(snippet));
    }
    return results;
}

std::vector<SearchResult> SectionBuilder::recentSnippets(std::size_t limit) const {
    if (!frecencyScore_) {
        return {};
    }
    std::vector<std::pair<double, const SharedSnippet*>> used;
    for (const SharedSnippet& snippet : snippets_) {
        if (isDisabled(snippet->source)) {
            continue;
        }
        const double score = finiteScore(frecencyScore_(snippet->id));
        if (score > 0) {
            used.emplace_back(score, &snippet);
        }
    }
    std::stable_sort(used.begin(), used.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    used.resize(std::min(limit, used.size()));
    std::vector<SearchResult> results;
    for (const auto& [score, snippet] : used) {
        results.push_back(unhighlighted(*snippet));
    }
    return results;
}

} // namespace korvane
