#include "registry/snippetregistry.h"

#include "base/unicode.h"
#include "matcher/matcher.h"
#include "registry/sectionorder.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace korvane {
namespace {

// How many entries ahead a pass asks for the next records. A narrowing pass, and a full pass that
// filters, skip through the index, where the processor cannot guess what comes next, and each entry
// would cost a memory round trip before its turn came.
constexpr std::size_t prefetchDistance = 8;

// Asks for the lines of a record that matching reads first: its segment bounds and lower-cased label.
void prefetchRecord(const SnippetEntry& entry) {
    const char* record = reinterpret_cast<const char*>(&entry);
    __builtin_prefetch(record);
    __builtin_prefetch(record + 64);
    __builtin_prefetch(record + 128);
}

// Asks for what matching `entry` against `query` reads beyond the record.
void prefetchBeyondRecord(const PreparedQuery& query, const SnippetEntry& entry) {
    if (!query.caseSensitive() && !query.isBytes()) {
        prefetchClusters(entry.indexed);
    }
}

bool byLabel(const SnippetEntry& a, const SnippetEntry& b) {
    return a.labelKey < b.labelKey;
}

bool hasScope(const Snippet& snippet, SnippetScope filter) {
    return snippet.source == SnippetSource::manual() && snippet.scope == filter;
}

bool contains(const std::vector<SnippetSource>& sources, const SnippetSource& source) {
    return std::find(sources.begin(), sources.end(), source) != sources.end();
}

// Whether `query` is `last` followed by whole characters. A byte prefix is not enough: a combining
// mark typed after "e" turns it into "é", which the matches of "e" do not cover.
bool extendsByCharacters(const std::string& last, const std::string& query) {
    if (!query.starts_with(last)) {
        return false;
    }
    if (isSingleByteClusters(query)) {
        return true;
    }
    const std::string_view added = std::string_view(query).substr(last.size());
    return graphemeCount(last) + graphemeCount(added) == graphemeCount(query);
}

} // namespace

SnippetRegistry::SnippetRegistry(const Clock& clock, std::string_view locale)
    : clock_(clock)
    , collator_(locale) {}

void SnippetRegistry::updateSnippets(const SnippetSource& source, std::vector<Snippet> snippets) {
    resetSearchCache();
    std::erase_if(indexedSnippets_,
                  [&](const SnippetEntry& entry) { return entry.snippet().source == source; });

    std::unordered_set<std::string> seenIds;
    std::erase_if(snippets, [&](const Snippet& snippet) {
        // A crafted file, branch or script name is not offered at all.
        return !seenIds.insert(snippet.id).second || !snippet.hasPlainName();
    });
    // The snippets of one source share one block and one reference count: a search hands out a
    // reference with each of thousands of results, and one count stays in cache where thousands of
    // scattered ones would not.
    const auto batch = std::make_shared<const std::vector<Snippet>>(std::move(snippets));
    std::vector<SnippetEntry> added;
    added.reserve(batch->size());
    for (const Snippet& snippet : *batch) {
        added.push_back(SnippetEntry::make(std::shared_ptr<const Snippet>(batch, &snippet), collator_));
    }
    // The index is already in label order, so sorting the newcomers and merging them in gives the
    // same stable order as sorting everything again, at a fraction of the cost.
    std::stable_sort(added.begin(), added.end(), byLabel);
    const auto middle = static_cast<std::ptrdiff_t>(indexedSnippets_.size());
    indexedSnippets_.insert(indexedSnippets_.end(), std::make_move_iterator(added.begin()),
                            std::make_move_iterator(added.end()));
    std::inplace_merge(indexedSnippets_.begin(), indexedSnippets_.begin() + middle, indexedSnippets_.end(),
                       byLabel);
    frecencyCache_.reset(indexedSnippets_.size());
}

void SnippetRegistry::removeSnippets() {
    resetSearchCache();
    std::erase_if(indexedSnippets_, [](const SnippetEntry& entry) {
        return entry.snippet().source != SnippetSource::manual();
    });
    frecencyCache_.reset(indexedSnippets_.size());
    currentProjectRoot.reset();
}

void SnippetRegistry::setDisabledSources(std::unordered_set<SnippetSource> sources) {
    if (sources != disabledSources_) {
        disabledSources_ = std::move(sources);
        resetSearchCache();
    }
}

SearchResponse SnippetRegistry::search(const ParsedQuery& query, const SearchOptions& options) {
    SearchResponse response;
    response.scopeDisabled = isScopeDisabled(query);
    if (canNarrow(query, options)) {
        lastSearch_.results = narrowingPass(query, options);
        lastSearch_.query = query.query;
        lastSearch_.options = options;
    } else {
        lastSearch_.results = fullPass(query, options);
        lastSearch_.query = query.query;
        lastSearch_.scopes = query.scopes;
        lastSearch_.urlOnly = query.urlOnly;
        lastSearch_.scopeFilter = query.scopeFilter;
        lastSearch_.options = options;
    }
    if (query.query.empty()) {
        // Listed in browse order already, and every one of them is shown.
        response.results.reserve(lastSearch_.results.size());
        for (const RankedMatch& match : lastSearch_.results) {
            response.results.push_back(SearchResult{sharedSnippet(*match.entry), {}});
        }
    } else {
        MatchFrecency frecency;
        if (historyStore) {
            frecencyCache_.use(historyStore);
            frecency = [this](const RankedMatch& match) {
                return frecencyCache_.score(match.position, match.entry->snippet().id);
            };
        }
        response.results = rankedCut(lastSearch_.results, frecency, graphemeCount(query.query));
    }
    response.displayChip = query.displayChip;
    response.scope = query.scope;
    response.urlOnly = query.urlOnly;
    return response;
}

bool SnippetRegistry::isScopeDisabled(const ParsedQuery& query) const {
    if (!query.scopes) {
        return false;
    }
    return std::all_of(query.scopes->begin(), query.scopes->end(),
                       [&](const SnippetSource& source) { return disabledSources_.contains(source); });
}

bool SnippetRegistry::canNarrow(const ParsedQuery& query, const SearchOptions& options) const {
    return !query.query.empty() && !lastSearch_.query.empty() &&
           extendsByCharacters(lastSearch_.query, query.query) && query.scopes == lastSearch_.scopes &&
           query.urlOnly == lastSearch_.urlOnly && query.scopeFilter == lastSearch_.scopeFilter &&
           options == lastSearch_.options && !lastSearch_.results.empty();
}

template <class Visit> void SnippetRegistry::forEachCandidate(const ParsedQuery& query, Visit&& visit) const {
    std::vector<SnippetSource> allowedScopes;
    if (query.scopes) {
        for (const SnippetSource& source : *query.scopes) {
            if (!disabledSources_.contains(source)) {
                allowedScopes.push_back(source);
            }
        }
    }
    // Most searches disable a handful of sources at most, so a short list beats hashing per entry.
    const std::vector<SnippetSource> disabled(disabledSources_.begin(), disabledSources_.end());
    if (!query.scopes && disabled.empty() && !query.urlOnly && !query.scopeFilter) {
        // Nothing filters: spare the pass a read of every snippet.
        for (std::uint32_t position = 0; position < indexedSnippets_.size(); ++position) {
            visit(position);
        }
        return;
    }
    for (std::uint32_t position = 0; position < indexedSnippets_.size(); ++position) {
        if (position + prefetchDistance < indexedSnippets_.size()) {
            __builtin_prefetch(&indexedSnippets_[position + prefetchDistance].snippet().source);
        }
        const Snippet& snippet = indexedSnippets_[position].snippet();
        const bool sourceAllowed =
            query.scopes ? contains(allowedScopes, snippet.source) : !contains(disabled, snippet.source);
        if (!sourceAllowed || (query.urlOnly && !snippet.isUrlSnippet()) ||
            (query.scopeFilter && !hasScope(snippet, *query.scopeFilter))) {
            continue;
        }
        visit(position);
    }
}

std::vector<RankedMatch> SnippetRegistry::fullPass(const ParsedQuery& query,
                                                   const SearchOptions& options) const {
    if (query.query.empty()) {
        return browseOrder(query);
    }
    // Case is respected by matching the query as typed against the labels as typed.
    const PreparedQuery prepared(query.query, options.caseSensitive);
    std::vector<RankedMatch> matches;
    matches.reserve(indexedSnippets_.size());
    // Candidates come in index order, where the entries lie side by side: the processor fetches
    // them ahead without being asked. What a query of clusters reads on the heap it does not guess.
    forEachCandidate(query, [&](std::uint32_t position) {
        if (position + prefetchDistance < indexedSnippets_.size()) {
            prefetchBeyondRecord(prepared, indexedSnippets_[position + prefetchDistance]);
        }
        const SnippetEntry& entry = indexedSnippets_[position];
        if (auto match = matchIndexed(prepared, entry.indexed)) {
            matches.push_back({&entry, position, std::move(*match)});
        }
    });
    return matches;
}

std::vector<RankedMatch> SnippetRegistry::narrowingPass(const ParsedQuery& query,
                                                        const SearchOptions& options) const {
    // Every change of the index forgets the last search, so its entries are all still held; the
    // disabled-source and URL filters were applied when they were first found.
    const PreparedQuery prepared(query.query, options.caseSensitive);
    std::vector<RankedMatch> matches;
    matches.reserve(lastSearch_.results.size());
    const std::vector<RankedMatch>& previousResults = lastSearch_.results;
    for (std::size_t i = 0; i < previousResults.size(); ++i) {
        if (i + prefetchDistance < previousResults.size()) {
            prefetchRecord(*previousResults[i + prefetchDistance].entry);
        }
        const RankedMatch& previous = previousResults[i];
        if (query.scopeFilter && !hasScope(previous.entry->snippet(), *query.scopeFilter)) {
            continue;
        }
        if (auto match = matchIndexed(prepared, previous.entry->indexed)) {
            matches.push_back({previous.entry, previous.position, std::move(*match)});
        }
    }
    return matches;
}

FrecencyScoreFunction SnippetRegistry::frecencyScoreFunction() const {
    return [history = historyStore](const std::string& id) {
        return history ? history->frecencyScore(id) : 0.0;
    };
}

LastUsedDateFunction SnippetRegistry::lastUsedDateFunction() const {
    return [history = historyStore](const std::string& id) -> std::optional<Clock::WallTime> {
        return history ? history->lastUsedDate(id) : std::nullopt;
    };
}

std::vector<RankedMatch> SnippetRegistry::browseOrder(const ParsedQuery& query) const {
    std::vector<RankedMatch> results;
    forEachCandidate(query, [&](std::uint32_t position) {
        results.push_back(
            {&indexedSnippets_[position], position, MatchResult{MatchQuality::prefix, {}, 1.0}});
    });
    SectionOrder(frecencyScoreFunction(), lastUsedDateFunction(), clock_.now())
        .sort(results, [](const RankedMatch& result) -> const Snippet& { return result.entry->snippet(); });
    return results;
}

SectionBuilder SnippetRegistry::makeSectionBuilder(std::optional<std::string> projectName) const {
    std::vector<SectionBuilder::SharedSnippet> snippets;
    snippets.reserve(indexedSnippets_.size());
    for (const SnippetEntry& entry : indexedSnippets_) {
        snippets.push_back(sharedSnippet(entry));
    }
    return SectionBuilder(std::move(snippets), disabledSources_, frecencyScoreFunction(),
                          lastUsedDateFunction(), std::move(projectName), categoryCatalog, clock_);
}

} // namespace korvane
