#include "search/searchcoordinator.h"

#include "base/diagnostics.h"
#include "base/unicode.h"
#include "registry/queryintentresolver.h"

#include <fmt/format.h>

#include <algorithm>

namespace korvane {
namespace {

const std::string kFilesSectionID = "files";

bool isFilesScope(const ParsedQuery& parsed) {
    return parsed.scopes && parsed.scopes->size() == 1 && parsed.scopes->front() == SnippetSource::filePath();
}

bool isBareScope(const ParsedQuery& parsed) {
    return parsed.query.empty() && parsed.scopes && parsed.scopes->size() == 1;
}

} // namespace

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
                                                             std::shared_ptr<PopupController> popupController,
                                                             Scheduler& scheduler, const Clock& clock) {
    return std::shared_ptr<SearchCoordinator>(
        new SearchCoordinator(registry, std::move(popupController), scheduler, clock));
}

SearchCoordinator::SearchCoordinator(SnippetRegistry& registry, std::shared_ptr<PopupController> popupController,
                                     Scheduler& scheduler, const Clock& clock)
    : registry_(registry)
    , popupController_(std::move(popupController))
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
    const QueryIntent intent = QueryIntentResolver::resolve(text, scopeRegistry_);
    if (const auto* literal = intent.asLiteralSearch()) {
        return ParsedQuery::plain(literal->query);
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
    viewModel().setCurrentQuery(query);
    ++searchGeneration_;
    popupController_->popupPosition = context.popupPosition;
    if (liveQueryTask_) {
        liveQueryTask_->cancel();
        liveQueryTask_.reset();
    }

    const QueryIntent intent = QueryIntentResolver::resolve(query, scopeRegistry_);
    if (intent.isHelp()) {
        unifiedAtContext_.reset();
        lastUnifiedVariantLog_.reset();
        // Help shows no files, so a loading mark left from the files scope must not linger.
        viewModel().setLoadingRecentFiles(false);
        viewModel().showHelp();
        if (!isPopupVisible()) {
            popupController_->show();
        }
        logPerformance(query, source, start);
        return;
    }
    if (const auto* picker = intent.asScopePicker()) {
        unifiedAtContext_ = SearchPresentationComposer::Context::scopeOnly(picker->searchTerm);
        if (onHorizontalSuppressionChanged) {
            onHorizontalSuppressionChanged(false);
        }
        viewModel().setLoadingRecentFiles(false);
        auto presentation = compose({}, false, std::nullopt);
        viewModel().setProjectRoot(context.projectRoot);
        viewModel().showSearchPresentation(std::move(presentation), std::nullopt, std::nullopt, false, false, true,
                                           false);
        popupController_->show();
        logPerformance(query, source, start);
        return;
    }
    ParsedQuery parsed;
    if (const auto* scoped = intent.asScopedSearch()) {
        unifiedAtContext_ = SearchPresentationComposer::Context::scoped(scoped->chipToken);
        parsed = ParsedQuery::parse(query, scopeRegistry_);
    } else {
        unifiedAtContext_.reset();
        lastUnifiedVariantLog_.reset();
        if (const auto* literal = intent.asLiteralSearch()) {
            parsed = ParsedQuery::plain(literal->query);
        } else {
            parsed = ParsedQuery::parse(query, scopeRegistry_);
        }
    }
    if (viewModel().isHelpMode()) {
        viewModel().exitHelpMode();
    }

    const bool textEmpty = parsed.query.empty();
    const bool bareScope = isBareScope(parsed);
    const bool filesScope = isFilesScope(parsed);
    const bool caseSensitive = context.searchOptions.caseSensitive;
    if (onHorizontalSuppressionChanged) {
        onHorizontalSuppressionChanged(false);
    }
    if (!filesScope) {
        viewModel().setLoadingRecentFiles(false);
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
                showResults({}, parsed.displayChip, parsed.scope, false, true, false, false, std::nullopt,
                            context.projectRoot);
            } else {
                LiveQuery live;
                live.kind = provider ? LiveKind::builtIn : LiveKind::custom;
                live.provider = provider;
                live.customProvider = customProvider;
                live.text = parsed.query;
                live.fullQuery = query;
                live.projectRoot = context.projectRoot.value_or("");
                live.caseSensitive = caseSensitive;
                live.chip = parsed.displayChip;
                live.scope = parsed.scope;
                live.source = scopeSource;
                live.bareScope = bareScope;
                if (!context.projectRoot) {
                    if (live.kind == LiveKind::builtIn) {
                        viewModel().setLoadingRecentFiles(false);
                    }
                    showNoProject(live);
                } else if (live.kind == LiveKind::builtIn) {
                    startLiveScopeQuery(std::move(live));
                } else {
                    startCustomLiveQuery(std::move(live));
                }
            }
            logPerformance(query, source, start);
            return;
        }
    }

    if (!parsed.scopes && textEmpty) {
        unifiedAtContext_.reset();
        lastUnifiedVariantLog_.reset();
        if (onHorizontalSuppressionChanged) {
            onHorizontalSuppressionChanged(true);
        }
        bool dismissed = false;
        showBrowse(parsed, context.projectRoot, context.activeCategories, context.scanInFlight, dismissed);
        logPerformance(query, source, start);
        return;
    }

    SearchResponse response = registry_.search(parsed, context.searchOptions);
    std::optional<SearchEmptyState> emptyState;
    if (!response.results.empty()) {
        hasSeenResultsInSession_ = true;
    } else if (response.scopeDisabled) {
        // The view shows the disabled scope itself.
    } else if (!hasSeenResultsInSession_) {
        if (!context.scanInFlight && !unifiedAtContext_) {
            dismiss();
            logPerformance(query, source, start);
            return;
        }
    } else if (!context.scanInFlight) {
        emptyState = noMatchesState_;
    }
    showResults(std::move(response.results), response.displayChip, response.scope, response.urlOnly,
                response.scopeDisabled, false, bareScope, emptyState, context.projectRoot);
    if (!textEmpty && !parsed.scopes && !parsed.urlOnly) {
        // While a scan runs an empty list carries no message, and the merge must not add one.
        scheduleFileQuery(parsed.query, searchGeneration_, caseSensitive, context.projectRoot,
                          context.scanInFlight ? std::nullopt : std::optional<SearchEmptyState>(noMatchesState_));
    }
    logPerformance(query, source, start);
}

std::vector<SnippetSection> SearchCoordinator::emptyQuerySections(
    const ParsedQuery& parsed, const std::optional<std::string>& projectRoot,
    const std::vector<std::string>& activeCategories) {
    if (!parsed.urlOnly) {
        return browserSections(projectRoot, activeCategories);
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

void SearchCoordinator::showBrowse(const ParsedQuery& parsed, const std::optional<std::string>& projectRoot,
                                   const std::vector<std::string>& activeCategories, bool scanInFlight,
                                   bool& dismissed) {
    std::vector<SnippetSection> sections = emptyQuerySections(parsed, projectRoot, activeCategories);
    if (sections.empty() && !scanInFlight) {
        dismissed = true;
        dismiss();
        return;
    }
    viewModel().setProjectRoot(projectRoot);
    viewModel().showBrowser(std::move(sections), parsed.urlOnly);
    popupController_->show();
}

void SearchCoordinator::dismiss() {
    if (onDismissNeeded) {
        onDismissNeeded();
    }
    activeQuery_.reset();
}

std::vector<SnippetSection> SearchCoordinator::browserSections(const std::optional<std::string>& projectRoot,
                                                               const std::vector<std::string>& activeCategories) {
    auto sections = registry_.makeSectionBuilder(std::nullopt).buildSections(activeCategories);
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
    viewModel().setScopeRegistry(std::move(registry));
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

void SearchCoordinator::showResults(std::vector<SearchResult> results, const std::optional<QueryChip>& chip,
                                    const std::optional<SnippetSource>& scope, bool urlOnly, bool scopeDisabled,
                                    bool liveScope, bool bareScope, const std::optional<SearchEmptyState>& emptyState,
                                    const std::optional<std::string>& projectRoot) {
    if (!unifiedAtContext_) {
        viewModel().setProjectRoot(projectRoot);
        viewModel().showSearchResults(std::move(results), chip, scope, urlOnly, scopeDisabled, liveScope, bareScope,
                                      emptyState ? std::optional<std::string>(emptyState->message) : std::nullopt,
                                      emptyState ? emptyState->style : SearchEmptyState::Style::standard);
    } else {
        auto presentation = compose(results, scopeDisabled,
                                    emptyState ? std::optional<std::string>(emptyState->message) : std::nullopt);
        viewModel().setProjectRoot(projectRoot);
        viewModel().showSearchPresentation(std::move(presentation), chip, scope, urlOnly, scopeDisabled, liveScope,
                                           bareScope);
    }
    popupController_->show();
}

std::optional<std::string> SearchCoordinator::selectedSnippetID() const {
    auto snippet = viewModel().selectedSnippet();
    if (!snippet) {
        return std::nullopt;
    }
    return snippet->id;
}

void SearchCoordinator::restoreSelection(const std::optional<std::string>& snippetID) {
    if (snippetID) {
        viewModel().selectSnippet(*snippetID);
    }
}

void SearchCoordinator::logPerformance(const std::string& query, SearchSource source, double start) const {
    const double elapsed = (now() - start) * 1000.0;
    if (elapsed > performanceThresholdMs) {
        performanceLog(logCategory, fmt::format("[PERFORM_SEARCH] query_len={} source={} elapsed={:.2f}ms",
                                                graphemeCount(query), toString(source), elapsed));
    }
}

// Live scopes.

void SearchCoordinator::showNoProject(const LiveQuery& query) {
    showResults({}, query.chip, query.scope, false, false, true, false,
                SearchEmptyState{"No project detected - cd into a project directory",
                                 SearchEmptyState::Style::standard},
                std::nullopt);
}

SearchEmptyState SearchCoordinator::customEmptyHint(const CustomProviderConfig& config) const {
    if (config.emptyHint) {
        return {*config.emptyHint, SearchEmptyState::Style::compact};
    }
    return {"Type @" + config.scope.value_or(config.id) + " to search", SearchEmptyState::Style::compact};
}

void SearchCoordinator::startLiveScopeQuery(LiveQuery query) {
    if (!(isPopupVisible() && viewModel().isLiveScopeActive())) {
        std::optional<SearchEmptyState> interim;
        if (query.text.empty()) {
            interim = SearchEmptyState{"No recent file changes. Type to search all files.",
                                       SearchEmptyState::Style::compact};
        }
        showResults({}, query.chip, query.scope, false, false, true, query.bareScope, interim, query.projectRoot);
    }
    query.debounce = query.text.empty() ? 0.0 : liveScopeDebounce;
    runLiveQuery(std::move(query));
}

void SearchCoordinator::startCustomLiveQuery(LiveQuery query) {
    if (frontmostApplication) {
        query.application = frontmostApplication();
    }
    query.fullQuery = activeQuery_.value_or("");
    const auto& config = query.customProvider->config();
    query.debounce = static_cast<double>(std::clamp<std::int64_t>(config.debounce, 0, 60000)) / 1000.0;
    std::optional<SearchEmptyState> interim;
    if (query.text.empty()) {
        interim = customEmptyHint(config);
    }
    showResults({}, query.chip, query.scope, false, false, true, query.bareScope, interim, query.projectRoot);
    runLiveQuery(std::move(query));
}

void SearchCoordinator::runLiveQuery(LiveQuery query) {
    CancellationToken task;
    liveQueryTask_ = task;
    std::weak_ptr<SearchCoordinator> weak = weak_from_this();
    Scheduler* scheduler = &scheduler_;
    auto shared = std::make_shared<LiveQuery>(std::move(query));
    const double debounce = shared->debounce >= 0.001 ? shared->debounce : 0.0;
    auto fileSource = std::dynamic_pointer_cast<FileSearchSource>(shared->provider);
    scheduler_.postAfter(debounce, [weak, task, shared, scheduler, fileSource] {
        if (task.isCancelled() || weak.expired()) {
            return;
        }
        scheduler->runInBackground(TaskPriority::userInitiated, [weak, task, shared, scheduler,
                                                                 fileSource](const CancellationToken&) {
            if (task.isCancelled()) {
                return;
            }
            std::vector<SearchResult> results;
            if (shared->kind == LiveKind::builtIn) {
                results = fileSource ? fileSource->search(shared->text, shared->projectRoot, shared->caseSensitive,
                                                          &task)
                                     : shared->provider->search(shared->text, shared->projectRoot,
                                                                shared->caseSensitive);
            } else {
                // A superseded command is terminated through the task's token rather than left to
                // run to its time limit.
                auto snippets = shared->customProvider->liveSnippets(
                    shared->projectRoot, shared->text, shared->application.bundleID, shared->application.name,
                    shared->caseSensitive, task);
                results.reserve(snippets.size());
                for (auto& snippet : snippets) {
                    results.push_back(SearchResult{std::make_shared<const Snippet>(std::move(snippet)), {}});
                }
            }
            scheduler->post([weak, task, shared, results = std::move(results)]() mutable {
                if (auto self = weak.lock()) {
                    self->completeLiveQuery(*shared, std::move(results), task);
                }
            });
        });
    });
}

void SearchCoordinator::completeLiveQuery(const LiveQuery& query, std::vector<SearchResult> results,
                                          const CancellationToken& task) {
    if (task.isCancelled() || !activeQuery_ || *activeQuery_ != query.fullQuery) {
        return;
    }
    if (liveQueryTask_ && *liveQueryTask_ == task) {
        liveQueryTask_.reset();
    }
    const bool builtIn = query.kind == LiveKind::builtIn;
    if (asyncUpdateEngine_->isNavigationActive()) {
        deferRefresh(builtIn ? "liveScopeCompletion" : "customLiveScopeCompletion");
        return;
    }
    auto& model = viewModel();
    // Only a list with items can be the same answer: an empty one may now carry another message
    // (the truncated index), which the interim state did not show.
    if (!results.empty() && model.mode() == PopupMode::search && model.isLiveScopeActive() &&
        model.activeScope() == query.source && sameResultIdentity(results, model.allResults())) {
        return;
    }
    const bool isFileSource = builtIn && query.source == SnippetSource::filePath() && filePathSource &&
                              query.provider.get() == static_cast<LiveScopeProvider*>(filePathSource.get());
    std::optional<SearchEmptyState> emptyState;
    if (!results.empty()) {
        hasSeenResultsInSession_ = true;
    } else if (builtIn) {
        const bool truncated = isFileSource && filePathSource->isIndexTruncated(query.projectRoot);
        if (query.text.empty()) {
            emptyState = SearchEmptyState{truncated ? "Large directory — showing first 50,000 files"
                                                    : "No recent file changes. Type to search all files.",
                                          SearchEmptyState::Style::compact};
        } else if (truncated) {
            emptyState = SearchEmptyState{"No matches in first 50,000 files", SearchEmptyState::Style::standard};
        }
    } else if (query.text.empty()) {
        emptyState = customEmptyHint(query.customProvider->config());
    } else {
        emptyState = SearchEmptyState{"No matches", SearchEmptyState::Style::standard};
    }
    showResults(std::move(results), query.chip, query.scope, false, false, true, query.bareScope, emptyState,
                query.projectRoot);
    if (builtIn) {
        model.setLoadingRecentFiles(isFileSource && filePathSource->isRecentFilesLoading(query.projectRoot));
    }
}

// File query.

void SearchCoordinator::scheduleFileQuery(const std::string& text, std::int64_t generation, bool caseSensitive,
                                          const std::optional<std::string>& projectRoot,
                                          const std::optional<SearchEmptyState>& noMatches) {
    const bool filesDisabled = registry_.disabledSources().contains(SnippetSource::filePath());
    asyncUpdateEngine_->cancelFileQuery();
    if (!projectRoot || filesDisabled || !filePathSource) {
        return;
    }
    asyncUpdateEngine_->startFileQuery(makeMergeDependencies(), filePathSource, text, generation, caseSensitive,
                                       *projectRoot, noMatches);
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
        return self ? self->selectedSnippetID() : std::nullopt;
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
    deps.searchRegistry = [weak](const std::string& query, bool caseSensitive) -> SearchResponse {
        auto self = weak.lock();
        if (!self) {
            return {};
        }
        return self->registry_.search(self->parsedQuery(query), SearchOptions{caseSensitive});
    };
    deps.currentSearchViewState = [weak] {
        auto self = weak.lock();
        return self ? self->viewModel().viewState() : SearchViewState::results({});
    };
    deps.sameResultIdentity = [weak](const std::vector<SearchResult>& a, const std::vector<SearchResult>& b) {
        return !weak.expired() && sameResultIdentity(a, b);
    };
    deps.hasSeenResultsInSession = [weak] {
        auto self = weak.lock();
        return self && self->hasSeenResultsInSession_;
    };
    deps.showPopup = [weak](std::vector<SearchResult> results, const SearchResponse& response,
                            const std::optional<std::string>& projectRoot, const std::optional<std::string>& message,
                            SearchEmptyState::Style style) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (!results.empty()) {
            self->hasSeenResultsInSession_ = true;
        }
        std::optional<SearchEmptyState> emptyState;
        if (message) {
            emptyState = SearchEmptyState{*message, style};
        }
        self->showResults(std::move(results), response.displayChip, response.scope, response.urlOnly,
                          response.scopeDisabled, false, false, emptyState, projectRoot);
    };
    deps.restoreSelection = [weak](const std::string& snippetID) {
        if (auto self = weak.lock()) {
            self->viewModel().selectSnippet(snippetID);
        }
    };
    return deps;
}

// Refresh entry points.

std::function<void()> SearchCoordinator::deferredIdleHandler() {
    std::weak_ptr<SearchCoordinator> weak = weak_from_this();
    return [weak] {
        if (auto self = weak.lock()) {
            self->flushDeferredWork();
        }
    };
}

void SearchCoordinator::deferRefresh(const std::string& reason) {
    asyncUpdateEngine_->recordDeferred(reason, searchGeneration_, selectedSnippetID(), deferredIdleHandler());
}

void SearchCoordinator::flushDeferredWork() {
    auto& work = asyncUpdateEngine_->deferredWork;
    if (!work.needsRefresh) {
        return;
    }
    if (work.deferredGeneration != searchGeneration_) {
        asyncUpdateEngine_->clearDeferredWork();
        return;
    }
    const auto selected = work.selectedSnippetID;
    asyncUpdateEngine_->clearDeferredWork();
    if (contextProvider && activeQuery_) {
        if (auto context = contextProvider()) {
            performSearch(*activeQuery_, SearchSource::deferred, *context);
        }
    }
    restoreSelection(selected);
}

void SearchCoordinator::rerenderForRegistryChange(const std::optional<std::string>& projectRoot, bool caseSensitive,
                                                  const std::vector<std::string>& activeCategories) {
    if (!isPopupVisible() || !activeQuery_) {
        return;
    }
    if (asyncUpdateEngine_->isNavigationActive()) {
        deferRefresh("registryRerender");
        return;
    }
    const auto selected = selectedSnippetID();
    if (viewModel().isHelpMode() || (unifiedAtContext_ && unifiedAtContext_->asScopeOnly())) {
        return;
    }
    const ParsedQuery parsed = parsedQuery(*activeQuery_);
    if (parsed.query.empty() && !parsed.scopes) {
        std::vector<SnippetSection> sections = emptyQuerySections(parsed, projectRoot, activeCategories);
        viewModel().setProjectRoot(projectRoot);
        viewModel().showBrowser(std::move(sections), parsed.urlOnly);
        popupController_->show();
        restoreSelection(selected);
        return;
    }
    SearchResponse response = registry_.search(parsed, SearchOptions{caseSensitive});
    if (response.results.empty() && !response.scopeDisabled) {
        return;
    }
    if (!response.results.empty()) {
        hasSeenResultsInSession_ = true;
    }
    showResults(std::move(response.results), response.displayChip, response.scope, response.urlOnly,
                response.scopeDisabled, false, isBareScope(parsed), std::nullopt, projectRoot);
    restoreSelection(selected);
    // The file matches merged into this list came from the file query; run it again so that a
    // registry change does not leave the list without them until the next keystroke.
    if (!parsed.query.empty() && !parsed.scopes && !parsed.urlOnly) {
        scheduleFileQuery(parsed.query, searchGeneration_, caseSensitive, projectRoot, noMatchesState_);
    }
}

void SearchCoordinator::handleScanRefresh() {
    if (!isPopupVisible() || !activeQuery_) {
        return;
    }
    if (asyncUpdateEngine_->isNavigationActive()) {
        deferRefresh("scanRefresh");
        return;
    }
    const auto selected = selectedSnippetID();
    if (contextProvider) {
        if (auto context = contextProvider()) {
            performSearch(*activeQuery_, SearchSource::scanRefresh, *context);
        }
    }
    restoreSelection(selected);
}

void SearchCoordinator::handleRecentFilesReady(const std::optional<std::string>& currentProjectRoot,
                                               const std::string& readyRoot) {
    if (!currentProjectRoot || *currentProjectRoot != readyRoot || !activeQuery_) {
        return;
    }
    const ParsedQuery parsed = parsedQuery(*activeQuery_);
    const bool filesScope = isFilesScope(parsed);
    const bool browser = parsed.query.empty() && !parsed.scopes && !parsed.urlOnly;
    if (!filesScope && !browser) {
        return;
    }
    if (asyncUpdateEngine_->isNavigationActive()) {
        deferRefresh("recentFiles");
        return;
    }
    if (filesScope) {
        viewModel().setLoadingRecentFiles(false);
    }
    // The browser re-selects its first category when rebuilt; keep the user's item instead.
    const auto selected = selectedSnippetID();
    if (contextProvider) {
        if (auto context = contextProvider()) {
            performSearch(*activeQuery_, SearchSource::recentFilesReady, *context);
            restoreSelection(selected);
        }
    }
}

bool SearchCoordinator::sameResultIdentity(const std::vector<SearchResult>& a, const std::vector<SearchResult>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::string* left = a[i].snippet ? &a[i].snippet->id : nullptr;
        const std::string* right = b[i].snippet ? &b[i].snippet->id : nullptr;
        if (!left || !right ? left != right : *left != *right) {
            return false;
        }
    }
    return true;
}

} // namespace korvane
