#include "search/searchcoordinator.h"

#include "base/diagnostics.h"
#include "base/unicode.h"
#include "registry/queryintentresolver.h"

#include <fmt/format.h>

#include <algorithm>

namespace korvane {
namespace {

const std::string kFilesSectionID = "files";

} // namespace

bool SearchCoordinator::isFilesScope(const ParsedQuery& parsed) {
    return parsed.scopes && parsed.scopes->size() == 1 && parsed.scopes->front() == SnippetSource::filePath();
}

bool SearchCoordinator::isBareScope(const ParsedQuery& parsed) {
    return parsed.query.empty() && parsed.scopes && parsed.scopes->size() == 1;
}

std::string_view toString(SearchSource source) {
    switch (source) {
    case SearchSource::input:
        return "input";
    case SearchSource::recentFilesReady:
        return "recent-files-ready";
    case SearchSource::scanRefresh:
        return "scan-refresh";
    case SearchSource::helpExit:
        return "help-exit";
    case SearchSource::deferred:
        return "deferred";
    }
    return "input";
}

std::shared_ptr<SearchCoordinator> SearchCoordinator::create(SnippetRegistry& registry,
                                                             std::shared_ptr<SearchDisplay> display,
                                                             Scheduler& scheduler, const Clock& clock) {
    return std::shared_ptr<SearchCoordinator>(new SearchCoordinator(registry, std::move(display), scheduler, clock));
}

SearchCoordinator::SearchCoordinator(SnippetRegistry& registry, std::shared_ptr<SearchDisplay> display,
                                     Scheduler& scheduler, const Clock& clock)
    : registry_(registry)
    , display_(std::move(display))
    , scheduler_(scheduler)
    , clock_(clock) {
    const Clock* source = &clock_;
    asyncUpdateEngine_ = SearchAsyncUpdateEngine::create(scheduler_, [source] {
        return std::chrono::duration<double>(source->monotonicNow().time_since_epoch()).count();
    });
}

SearchCoordinator::~SearchCoordinator() {
    if (liveQueryTask_) {
        liveQueryTask_->cancel();
    }
    asyncUpdateEngine_->cancelAll();
}

double SearchCoordinator::now() const {
    return asyncUpdateEngine_->currentTime();
}

// Query road.

ParsedQuery SearchCoordinator::parsedQuery(const std::string& text) const {
    return parsedQuery(QueryIntentResolver::resolve(text, scopeRegistry_), text);
}

ParsedQuery SearchCoordinator::parsedQuery(const QueryIntent& intent, const std::string& text) const {
    // The intent has read the scope token already, so the text is not segmented a second time.
    if (const auto* literal = intent.asLiteralSearch()) {
        return ParsedQuery::plain(literal->query);
    }
    if (const auto* scoped = intent.asScopedSearch()) {
        return ParsedQuery::scoped(scoped->scope, scoped->chipToken, scoped->query);
    }
    if (intent.asNormalSearch()) {
        return ParsedQuery::plain(text);
    }
    return ParsedQuery::parse(text, scopeRegistry_);
}

bool SearchCoordinator::shouldSkipDuplicateInput(const std::string& query) {
    const double time = now();
    if (lastDeliveredInputQuery_ && *lastDeliveredInputQuery_ == query &&
        time - lastDeliveredInputQueryAt_ < duplicateInputWindow) {
        return true;
    }
    lastDeliveredInputQuery_ = query;
    lastDeliveredInputQueryAt_ = time;
    return false;
}

void SearchCoordinator::performSearch(const std::string& query, SearchSource source,
                                      const LiveSearchContext& context) {
    const double start = now();
    if (source == SearchSource::input && activeQuery_ && *activeQuery_ == query) {
        logPerformance(query, source, start);
        return;
    }
    activeQuery_ = query;
    ++searchGeneration_;
    if (liveQueryTask_) {
        liveQueryTask_->cancel();
        liveQueryTask_.reset();
    }
    SearchUpdate update;
    update.query = query;
    update.position = context.popupPosition;
    // A route that starts a source says so.
    update.sourcesRunning = false;
    if (refresh_ && refresh_->clearsLoadingRecentFiles) {
        update.loadingRecentFiles = false;
    }
    route(query, context, std::move(update));
    logPerformance(query, source, start);
}

void SearchCoordinator::route(const std::string& query, const LiveSearchContext& context, SearchUpdate update) {
    const QueryIntent intent = QueryIntentResolver::resolve(query, scopeRegistry_);
    if (intent.isHelp()) {
        unifiedAtContext_.reset();
        lastUnifiedVariantLog_.reset();
        // Help shows no files, so a loading mark left from the files scope must not linger.
        update.loadingRecentFiles = false;
        update.content = SearchUpdate::Help{};
        update.window = SearchUpdate::Window::showIfHidden;
        publish(std::move(update));
        return;
    }
    if (const auto* picker = intent.asScopePicker()) {
        unifiedAtContext_ = SearchPresentationComposer::Context::scopeOnly(picker->searchTerm);
        if (onHorizontalSuppressionChanged) {
            onHorizontalSuppressionChanged(false);
        }
        update.loadingRecentFiles = false;
        update.projectRoot = context.projectRoot;
        update.content = SearchUpdate::Composed{compose({}, false, std::nullopt), {.isLiveScopeActive = true}};
        update.window = SearchUpdate::Window::show;
        publish(std::move(update));
        return;
    }
    if (const auto* scoped = intent.asScopedSearch()) {
        unifiedAtContext_ = SearchPresentationComposer::Context::scoped(scoped->chipToken);
    } else {
        unifiedAtContext_.reset();
        lastUnifiedVariantLog_.reset();
    }
    const ParsedQuery parsed = parsedQuery(intent, query);
    update.exitHelpMode = true;

    const bool textEmpty = parsed.query.empty();
    const bool bareScope = isBareScope(parsed);
    const bool filesScope = isFilesScope(parsed);
    if (onHorizontalSuppressionChanged) {
        onHorizontalSuppressionChanged(false);
    }
    if (!filesScope) {
        update.loadingRecentFiles = false;
    }

    if (parsed.scopes && parsed.scopes->size() == 1) {
        const SnippetSource& scopeSource = parsed.scopes->front();
        std::shared_ptr<LiveScopeProvider> provider;
        std::shared_ptr<CustomProvider> customProvider;
        if (auto found = liveScopeProviders.find(scopeSource); found != liveScopeProviders.end()) {
            provider = found->second;
        } else if (scopeSource.isCustom()) {
            if (auto custom = customLiveProviders.find(scopeSource.customId()); custom != customLiveProviders.end()) {
                customProvider = custom->second;
            }
        }
        if (provider || customProvider) {
            if (registry_.disabledSources().contains(scopeSource)) {
                setResults(update, {}, parsed.displayChip, parsed.scope, false, true, false, false, std::nullopt,
                           context.projectRoot);
                publish(std::move(update));
                return;
            }
            LiveQuery live;
            live.kind = provider ? LiveKind::builtIn : LiveKind::custom;
            live.provider = provider;
            live.customProvider = customProvider;
            live.text = parsed.query;
            live.fullQuery = query;
            live.projectRoot = context.projectRoot.value_or("");
            live.caseSensitive = context.searchOptions.caseSensitive;
            live.chip = parsed.displayChip;
            live.scope = parsed.scope;
            live.source = scopeSource;
            live.bareScope = bareScope;
            live.keepsSelection = refresh_.has_value();
            if (!context.projectRoot) {
                if (live.kind == LiveKind::builtIn) {
                    update.loadingRecentFiles = false;
                }
                showNoProject(std::move(update), live);
            } else if (live.kind == LiveKind::builtIn) {
                startLiveScopeQuery(std::move(update), std::move(live));
            } else {
                startCustomLiveQuery(std::move(update), std::move(live));
            }
            return;
        }
    }

    if (!parsed.scopes && textEmpty) {
        unifiedAtContext_.reset();
        lastUnifiedVariantLog_.reset();
        if (onHorizontalSuppressionChanged) {
            onHorizontalSuppressionChanged(true);
        }
        showBrowse(std::move(update), parsed, context);
        return;
    }
    routeRegistry(parsed, context, std::move(update));
}

void SearchCoordinator::routeRegistry(const ParsedQuery& parsed, const LiveSearchContext& context,
                                      SearchUpdate update) {
    const bool textEmpty = parsed.query.empty();
    SearchResponse response = registry_.search(parsed, context.searchOptions);
    std::optional<SearchEmptyState> emptyState;
    if (!response.results.empty()) {
        hasSeenResultsInSession_ = true;
    } else if (response.scopeDisabled) {
        // The view shows the disabled scope itself.
    } else if (!hasSeenResultsInSession_) {
        // A fragment of a project path matches no snippet: the file query decides, and closes the popup
        // itself when the files have nothing either.
        const bool filesMayAnswer =
            !textEmpty && !parsed.scopes && !parsed.urlOnly && canQueryFiles(context.projectRoot);
        if (!context.scanInFlight && !unifiedAtContext_ && !filesMayAnswer) {
            publish(std::move(update));
            dismiss();
            return;
        }
    } else if (!context.scanInFlight) {
        emptyState = noMatchesState_;
    }
    const bool filesFollow = !textEmpty && !parsed.scopes && !parsed.urlOnly;
    // A refresh leaves the list on screen until the file rows that follow are merged behind its answer:
    // shown alone, the answer would drop the list's file rows (and the entry selected among them) for
    // as long as the file query takes.
    const bool waits = filesFollow && refresh_ && waitsForFileRows(context.projectRoot);
    if (!waits) {
        update.sourcesRunning =
            response.results.empty() && !response.scopeDisabled &&
            ((filesFollow && canQueryFiles(context.projectRoot)) || scopeSourceRunning(parsed, context));
        setResults(update, response, isBareScope(parsed), emptyState, context.projectRoot);
    }
    publish(std::move(update));
    if (filesFollow) {
        // While a scan runs an empty list carries no message, and the merge must not add one.
        scheduleFileQuery(parsed.query, searchGeneration_, context.searchOptions.caseSensitive, context.projectRoot,
                          context.scanInFlight ? std::nullopt : std::optional<SearchEmptyState>(noMatchesState_),
                          answerFor(std::move(response), !waits));
    }
}

bool SearchCoordinator::scopeSourceRunning(const ParsedQuery& parsed, const LiveSearchContext& context) {
    if (context.scanInFlight) {
        return true;
    }
    if (!parsed.scopes) {
        return false;
    }
    return std::any_of(parsed.scopes->begin(), parsed.scopes->end(),
                       [&](const SnippetSource& source) { return context.loadingSources.contains(source); });
}

std::vector<SnippetSection> SearchCoordinator::emptyQuerySections(const ParsedQuery& parsed,
                                                                  const LiveSearchContext& context) {
    if (!parsed.urlOnly) {
        return browserSections(context.projectRoot, context.activeCategories, context.loadingSources);
    }
    std::vector<SnippetSection> sections;
    auto urls = registry_.makeSectionBuilder(std::nullopt).urlSnippets(urlSnippetLimit);
    if (!urls.empty()) {
        SnippetSection section("urls", "URLs", {});
        section.totalCount = urls.size();
        section.results = std::move(urls);
        sections.push_back(std::move(section));
    }
    return sections;
}

void SearchCoordinator::showBrowse(SearchUpdate update, const ParsedQuery& parsed, const LiveSearchContext& context) {
    std::vector<SnippetSection> sections = emptyQuerySections(parsed, context);
    if (sections.empty() && !context.scanInFlight) {
        publish(std::move(update));
        dismiss();
        return;
    }
    update.projectRoot = context.projectRoot;
    update.content = SearchUpdate::Browser{std::move(sections), parsed.urlOnly};
    update.window = SearchUpdate::Window::show;
    publish(std::move(update));
}

void SearchCoordinator::dismiss() {
    if (onDismissNeeded) {
        onDismissNeeded();
    }
    activeQuery_.reset();
}

std::vector<SnippetSection> SearchCoordinator::browserSections(const std::optional<std::string>& projectRoot,
                                                               const std::vector<std::string>& activeCategories,
                                                               const std::unordered_set<SnippetSource>& loadingSources) {
    auto sections = registry_.makeSectionBuilder(std::nullopt).buildSections(activeCategories);
    for (auto& section : sections) {
        section.isLoading = std::any_of(section.sources().begin(), section.sources().end(),
                                        [&](const SnippetSource& source) { return loadingSources.contains(source); });
    }
    if (!projectRoot || registry_.disabledSources().contains(SnippetSource::filePath()) || !filePathSource) {
        return sections;
    }
    for (auto& section : sections) {
        if (section.id() != kFilesSectionID) {
            continue;
        }
        std::vector<SearchResult> recent;
        for (const auto& path : filePathSource->recentPaths(*projectRoot, recentFileLimit)) {
            recent.push_back(
                SearchResult{std::make_shared<const Snippet>(filePathSource->makeSnippet(path, *projectRoot)), {}});
        }
        section.totalCount = recent.size();
        section.isLoading = recent.empty() && filePathSource->isRecentFilesLoading(*projectRoot);
        section.results = std::move(recent);
        break;
    }
    return sections;
}

void SearchCoordinator::resetSession() {
    activeQuery_.reset();
    unifiedAtContext_.reset();
    if (liveQueryTask_) {
        liveQueryTask_->cancel();
        liveQueryTask_.reset();
    }
    asyncUpdateEngine_->cancelAll();
}

void SearchCoordinator::endSession() {
    hasSeenResultsInSession_ = false;
    unifiedAtContext_.reset();
    lastUnifiedVariantLog_.reset();
    asyncUpdateEngine_->lastNavigationTime = 0;
    asyncUpdateEngine_->clearDeferredWork();
    asyncUpdateEngine_->cancelDeferredIdle();
}

void SearchCoordinator::updateScopeManifest(ScopeRegistry registry) {
    scopeRegistry_ = registry;
    display_->setScopeRegistry(std::move(registry));
}

// Showing.

ScopeCatalog::Inputs SearchCoordinator::catalogInputs() const {
    ScopeCatalog::Inputs inputs;
    inputs.excludedSources = registry_.disabledSources();
    inputs.scopeRegistry = &scopeRegistry_;
    inputs.primaryAliases = scopeRegistry_.projection().canonicalTokens;
    inputs.categoryCatalog = registry_.categoryCatalog;
    return inputs;
}

SearchPresentation SearchCoordinator::compose(const std::vector<SearchResult>& results, bool scopeDisabled,
                                              const std::optional<std::string>& message) {
    auto presentation = presentationComposer_.compose(*unifiedAtContext_, results, scopeDisabled, message,
                                                      catalogInputs());
    recordVariant(presentation.variant);
    return presentation;
}

void SearchCoordinator::recordVariant(SearchShellVariant variant) {
    if (!lastUnifiedVariantLog_ || *lastUnifiedVariantLog_ != variant) {
        lastUnifiedVariantLog_ = variant;
    }
}

void SearchCoordinator::setResults(SearchUpdate& update, std::vector<SearchResult> results,
                                   const std::optional<QueryChip>& chip, const std::optional<SnippetSource>& scope,
                                   bool urlOnly, bool scopeDisabled, bool liveScope, bool bareScope,
                                   const std::optional<SearchEmptyState>& emptyState,
                                   const std::optional<std::string>& projectRoot) {
    const SearchUpdate::Shell shell{chip, scope, urlOnly, scopeDisabled, liveScope, bareScope};
    if (!unifiedAtContext_) {
        update.content = SearchUpdate::Results{std::move(results), emptyState, shell};
    } else {
        const auto message = emptyState ? std::optional<std::string>(emptyState->message) : std::nullopt;
        update.content = SearchUpdate::Composed{compose(results, scopeDisabled, message), shell};
    }
    update.projectRoot = projectRoot;
    update.window = SearchUpdate::Window::show;
}

void SearchCoordinator::setResults(SearchUpdate& update, SearchResponse& response, bool bareScope,
                                   const std::optional<SearchEmptyState>& emptyState,
                                   const std::optional<std::string>& projectRoot) {
    // A plain list takes the results as they are, so the answer kept for the merge need not copy them.
    std::vector<SearchResult> results = unifiedAtContext_ ? response.results : std::move(response.results);
    setResults(update, std::move(results), response.displayChip, response.scope, response.urlOnly,
               response.scopeDisabled, false, bareScope, emptyState, projectRoot);
}

SearchAsyncUpdateEngine::RegistryAnswer SearchCoordinator::answerFor(SearchResponse response, bool shown) const {
    // Shown as a plain list, the results are the list on screen; otherwise the answer keeps them.
    const bool onScreen = shown && !unifiedAtContext_;
    return {std::make_shared<const SearchResponse>(std::move(response)), onScreen};
}

void SearchCoordinator::publish(SearchUpdate update) {
    if (refresh_ && refresh_->keptSelectionID && update.hasContent() && !update.selectSnippetID) {
        update.selectSnippetID = refresh_->keptSelectionID;
    }
    display_->apply(std::move(update));
}

bool SearchCoordinator::canQueryFiles(const std::optional<std::string>& projectRoot) const {
    return projectRoot && filePathSource && !registry_.disabledSources().contains(SnippetSource::filePath());
}

bool SearchCoordinator::waitsForFileRows(const std::optional<std::string>& projectRoot) const {
    const auto& shown = display_->viewState().resultList();
    return canQueryFiles(projectRoot) && std::any_of(shown.begin(), shown.end(), [](const SearchResult& result) {
               return result.snippet && result.snippet->source == SnippetSource::filePath();
           });
}

void SearchCoordinator::logPerformance(const std::string& query, SearchSource source, double start) const {
    const double elapsed = (now() - start) * 1000.0;
    if (elapsed > performanceThresholdMs) {
        performanceLog(logCategory, fmt::format("[PERFORM_SEARCH] query_len={} source={} elapsed={:.2f}ms",
                                                graphemeCount(query), toString(source), elapsed));
    }
}

// File query.

void SearchCoordinator::scheduleFileQuery(const std::string& text, std::int64_t generation, bool caseSensitive,
                                          const std::optional<std::string>& projectRoot,
                                          const std::optional<SearchEmptyState>& noMatches,
                                          SearchAsyncUpdateEngine::RegistryAnswer registryAnswer) {
    asyncUpdateEngine_->cancelFileQuery();
    if (!canQueryFiles(projectRoot)) {
        return;
    }
    asyncUpdateEngine_->startFileQuery(makeMergeDependencies(), std::move(registryAnswer), filePathSource, text,
                                       generation, caseSensitive, *projectRoot, noMatches);
}

SearchAsyncUpdateEngine::MergeDependencies SearchCoordinator::makeMergeDependencies() {
    std::weak_ptr<SearchCoordinator> weak = weak_from_this();
    SearchAsyncUpdateEngine::MergeDependencies deps;
    deps.currentGeneration = [weak]() -> std::int64_t {
        auto self = weak.lock();
        return self ? self->searchGeneration_ : 0;
    };
    deps.activeQuery = [weak]() -> std::optional<std::string> {
        auto self = weak.lock();
        return self ? self->activeQuery_ : std::nullopt;
    };
    deps.selectedSnippetID = [weak]() -> std::optional<std::string> {
        auto self = weak.lock();
        return self ? self->display_->selectedSnippetID() : std::nullopt;
    };
    deps.isNavigationActive = [weak] {
        auto self = weak.lock();
        return self && self->asyncUpdateEngine_->isNavigationActive();
    };
    deps.deferRefresh = [weak](const std::string& reason, std::int64_t generation,
                               const std::optional<std::string>& selectedID) {
        if (auto self = weak.lock()) {
            self->asyncUpdateEngine_->recordDeferred(reason, generation, selectedID, self->deferredIdleHandler());
        }
    };
    deps.currentSearchViewState = [weak]() -> const SearchViewState& {
        static const SearchViewState nothing = SearchViewState::results({});
        auto self = weak.lock();
        return self ? self->display_->viewState() : nothing;
    };
    deps.sameResultIdentity = [weak](const std::vector<SearchResult>& a, const std::vector<SearchResult>& b) {
        return !weak.expired() && sameResultIdentity(a, b);
    };
    deps.hasSeenResultsInSession = [weak] {
        auto self = weak.lock();
        return self && self->hasSeenResultsInSession_;
    };
    deps.filesAnswered = [weak] {
        if (auto self = weak.lock()) {
            SearchUpdate update;
            update.sourcesRunning = false;
            self->publish(std::move(update));
        }
    };
    deps.showPopup = [weak](std::vector<SearchResult> results, const SearchResponse& response,
                            const std::optional<std::string>& projectRoot, const std::optional<std::string>& message,
                            SearchEmptyState::Style style, const std::optional<std::string>& selectedID) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (!results.empty()) {
            self->hasSeenResultsInSession_ = true;
        } else if (!self->hasSeenResultsInSession_ && !response.scopeDisabled && !self->unifiedAtContext_) {
            // Neither the snippets nor the files know the text typed since the trigger: as when no
            // file query runs, the popup closes unless a scan may still bring matches.
            const auto context = self->contextProvider ? self->contextProvider() : std::nullopt;
            if (!context || !context->scanInFlight) {
                self->dismiss();
                return;
            }
        }
        std::optional<SearchEmptyState> emptyState;
        if (message) {
            emptyState = SearchEmptyState{*message, style};
        }
        SearchUpdate update;
        self->setResults(update, std::move(results), response.displayChip, response.scope, response.urlOnly,
                         response.scopeDisabled, false, false, emptyState, projectRoot);
        update.selectSnippetID = selectedID;
        self->publish(std::move(update));
    };
    return deps;
}

} // namespace korvane
