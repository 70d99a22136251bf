#pragma once

#include "base/clock.h"
#include "base/localizedcollator.h"
#include "config/categorycatalog.h"
#include "config/searchcontext.h"
#include "model/searchoptions.h"
#include "model/snippet.h"
#include "model/snippetscope.h"
#include "model/snippetsource.h"
#include "registry/frecencycache.h"
#include "registry/historyreader.h"
#include "registry/parsedquery.h"
#include "registry/resultranking.h"
#include "registry/searchresponse.h"
#include "registry/sectionbuilder.h"
#include "registry/snippetentry.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace korvane {

// Every snippet Korvane can currently offer, prepared for matching and kept in label order, and the
// search over them. It remembers the last search so that a query that only grows re-matches the
// previous matches instead of the whole index. Created once by the application shell; main thread.
class SnippetRegistry {
public:
    // `clock` must outlive the registry; `locale` names the label collation (empty: the user's).
    explicit SnippetRegistry(const Clock& clock = SystemClock::shared(), std::string_view locale = {});

    // Replaces every snippet of `source` with `snippets`; of several with one id only the first is
    // kept. An empty list removes the source.
    void updateSnippets(const SnippetSource& source, std::vector<Snippet> snippets);
    // Drops every snippet that is not manual, and the project root.
    void removeSnippets();

    // Ranks the snippets that match `query` and cuts the list to what is worth showing.
    SearchResponse search(const ParsedQuery& query, const SearchOptions& options);

    // A builder of the browser's sections over the snippets held now.
    SectionBuilder makeSectionBuilder(std::optional<std::string> projectName) const;

    // Every snippet held, prepared for matching, in label order.
    const std::vector<SnippetEntry>& indexedSnippets() const { return indexedSnippets_; }

    const std::unordered_set<SnippetSource>& disabledSources() const { return disabledSources_; }
    // Sources whose snippets searches skip. A change forgets the remembered search, whose matches
    // may come from a source that is now off.
    void setDisabledSources(std::unordered_set<SnippetSource> sources);

    // The project whose snippets are loaded; set by the scan pipeline, cleared by removeSnippets().
    std::optional<std::string> currentProjectRoot;
    // The usage history; without one every score is 0 and nothing was ever used.
    std::shared_ptr<const HistoryReader> historyStore;
    // Handed to section builders.
    std::optional<CategoryCatalogSnapshot> categoryCatalog;

private:
    // The last search, from which a search for a longer query can start.
    struct LastSearch {
        std::string query;
        std::optional<std::vector<SnippetSource>> scopes;
        bool urlOnly = false;
        std::optional<SnippetScope> scopeFilter;
        SearchOptions options;
        // Every match of a non-empty query in index order, from which ranking and the cut pick
        // what is shown; for an empty query, every candidate in browse order. The entries are the
        // index's: every change of the index forgets the last search.
        std::vector<RankedMatch> results;
    };

    bool canNarrow(const ParsedQuery& query, const SearchOptions& options) const;
    std::vector<RankedMatch> fullPass(const ParsedQuery& query, const SearchOptions& options) const;
    std::vector<RankedMatch> narrowingPass(const ParsedQuery& query, const SearchOptions& options) const;
    // Calls `visit` with the position in the index of each entry the query may return, in index order.
    template <class Visit> void forEachCandidate(const ParsedQuery& query, Visit&& visit) const;
    // Every candidate of an empty query, in the browser's order.
    std::vector<RankedMatch> browseOrder(const ParsedQuery& query) const;
    bool isScopeDisabled(const ParsedQuery& query) const;
    // The history store's score and last-use date of a snippet id, as the browse order reads them:
    // 0 and none without a store.
    FrecencyScoreFunction frecencyScoreFunction() const;
    LastUsedDateFunction lastUsedDateFunction() const;
    void resetSearchCache() { lastSearch_ = LastSearch{}; }

    const Clock& clock_;
    LocalizedCollator collator_;
    // In label order, side by side: the entries' addresses hold until the next change of the index.
    std::vector<SnippetEntry> indexedSnippets_;
    std::unordered_set<SnippetSource> disabledSources_;
    LastSearch lastSearch_;
    FrecencyCache frecencyCache_;
};

} // namespace korvane
