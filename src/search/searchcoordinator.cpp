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
        // A fragment of a project path matches no snippet: the file query decides, and closes the popup
        // itself when the files have nothing either.
        const bool filesMayAnswer = !textEmpty && !parsed.scopes && !parsed.urlOnly && context.projectRoot &&
                                    filePathSource && !registry_.disabledSources().contains(SnippetSource::filePath());
        if (!context.scanInFlight && !unifiedAtContext_ && !filesMayAnswer) {
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

} // namespace korvane
