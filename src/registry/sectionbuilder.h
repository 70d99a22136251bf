#pragma once

#include "base/clock.h"
#include "config/categorycatalog.h"
#include "model/snippet.h"
#include "model/snippetsource.h"
#include "registry/sectionorder.h"
#include "registry/snippetsection.h"
#include "model/searchresult.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace korvane {

// Turns a snapshot of the registry's snippets into the browser's sections, one per active category,
// plus the recent and URL lists. A short-lived value made by the registry for one browse; it keeps
// the snippets it was given. Main thread.
class SectionBuilder {
public:
    using SharedSnippet = std::shared_ptr<const Snippet>;

    static constexpr std::size_t recentSectionLimit = 8;

    // `snippets` in the registry's index order; `clock` must outlive the builder.
    SectionBuilder(std::vector<SharedSnippet> snippets, std::unordered_set<SnippetSource> disabledSources,
                   FrecencyScoreFunction frecencyScore, LastUsedDateFunction lastUsedDate,
                   std::optional<std::string> projectName,
                   std::optional<CategoryCatalogSnapshot> categoryCatalog, const Clock& clock);

    // One section per category id that a definition knows, in the given order.
    std::vector<SnippetSection> buildSections(const std::vector<std::string>& categoryIds) const;
    // Up to `limit` snippets of enabled sources that carry a URL, in section order.
    std::vector<SearchResult> urlSnippets(std::size_t limit) const;
    // Up to `limit` used snippets of enabled sources, highest score first.
    std::vector<SearchResult> recentSnippets(std::size_t limit) const;

    std::vector<Snippet> snippets() const;
    const std::unordered_set<SnippetSource>& disabledSources() const { return disabledSources_; }
    const std::optional<std::string>& projectName() const { return projectName_; }

    // Consulted for the definitions of custom categories.
    std::optional<CategoryCatalogSnapshot> categoryCatalog;

private:
    std::optional<CategoryDefinition> definition(const std::string& id) const;
    SnippetSection makeSection(const CategoryDefinition& definition) const;
    std::vector<SharedSnippet> categoryItems(const CategoryDefinition& definition) const;
    std::vector<SearchResult> inSectionOrder(std::vector<SharedSnippet> snippets) const;
    bool isDisabled(const SnippetSource& source) const { return disabledSources_.contains(source); }

    std::vector<SharedSnippet> snippets_;
    std::unordered_set<SnippetSource> disabledSources_;
    FrecencyScoreFunction frecencyScore_;
    LastUsedDateFunction lastUsedDate_;
    std::optional<std::string> projectName_;
    const Clock* clock_;
};

} // namespace korvane
