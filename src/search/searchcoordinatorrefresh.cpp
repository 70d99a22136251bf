#include "search/searchcoordinator.h"

namespace korvane {

// The search coordinator's refresh entry points: re-rendering after registry changes and scans,
// recent files becoming ready, and work deferred while the user navigates.

std::function<void()> SearchCoordinator::deferredIdleHandler() {
    std::weak_ptr<SearchCoordinator> weak = weak_from_this();
    return [weak] {
        if (auto self = weak.lock()) {
            self->flushDeferredWork();
        }
    };
}

void SearchCoordinator::deferRefresh(const std::string& reason) {
    asyncUpdateEngine_->recordDeferred(reason, searchGeneration_, display_->selectedSnippetID(),
                                       deferredIdleHandler());
}

void SearchCoordinator::refreshSearch(SearchSource source, bool clearsLoadingRecentFiles) {
    const auto context = contextProvider && activeQuery_ ? contextProvider() : std::nullopt;
    if (!context) {
        if (clearsLoadingRecentFiles) {
            SearchUpdate update;
            update.loadingRecentFiles = false;
            publish(std::move(update));
        }
        return;
    }
    // The entry on screen now, not the one noted when the refresh was held back: the user may have
    // moved on since.
    refresh_ = Refresh{display_->selectedSnippetID(), clearsLoadingRecentFiles};
    performSearch(*activeQuery_, source, *context);
    refresh_.reset();
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
    asyncUpdateEngine_->clearDeferredWork();
    refreshSearch(SearchSource::deferred);
}

void SearchCoordinator::rerenderForRegistryChange(const std::optional<std::string>& projectRoot,
                                                  bool caseSensitive,
                                                  const std::vector<std::string>& activeCategories) {
    if (!isPopupVisible() || !activeQuery_) {
        return;
    }
    if (asyncUpdateEngine_->isNavigationActive()) {
        deferRefresh("registryRerender");
        return;
    }
    if (display_->isHelpMode() || (unifiedAtContext_ && unifiedAtContext_->asScopeOnly())) {
        return;
    }
    SearchUpdate update;
    update.selectSnippetID = display_->selectedSnippetID();
    const ParsedQuery parsed = parsedQuery(*activeQuery_);
    if (parsed.query.empty() && !parsed.scopes) {
        auto live = contextProvider ? contextProvider() : std::nullopt;
        const LiveSearchContext context{.projectRoot = projectRoot,
                                        .loadingSources = live ? std::move(live->loadingSources)
                                                               : std::unordered_set<SnippetSource>{},
                                        .activeCategories = activeCategories};
        update.projectRoot = projectRoot;
        update.content = SearchUpdate::Browser{emptyQuerySections(parsed, context), parsed.urlOnly};
        update.window = SearchUpdate::Window::show;
        publish(std::move(update));
        return;
    }
    const bool filesFollow = !parsed.query.empty() && !parsed.scopes && !parsed.urlOnly;
    SearchResponse response = registry_.search(parsed, SearchOptions{caseSensitive});
    if (response.results.empty() && !response.scopeDisabled) {
        // The list on screen stays; a file query still under way merges behind the new answer.
        if (filesFollow && asyncUpdateEngine_->hasFileQueryTask()) {
            scheduleFileQuery(parsed.query, searchGeneration_, caseSensitive, projectRoot, noMatchesState_,
                              answerFor(std::move(response), false));
        } else if (parsed.scopes) {
            // The scope's source that was still running may have ended with nothing: the list says so now.
            const auto live = contextProvider ? contextProvider() : std::nullopt;
            SearchUpdate ended;
            ended.sourcesRunning = live && scopeSourceRunning(parsed, *live);
            publish(std::move(ended));
        }
        return;
    }
    hasSeenResultsInSession_ = hasSeenResultsInSession_ || !response.results.empty();
    // As for a refresh, the list on screen stays until the file rows are merged behind the new answer.
    const bool waits = filesFollow && waitsForFileRows(projectRoot);
    if (!waits) {
        update.sourcesRunning = false;
        setResults(update, response, isBareScope(parsed), std::nullopt, projectRoot);
        publish(std::move(update));
    }
    // The file matches merged into this list came from the file query; run it again so that a
    // registry change does not leave the list without them until the next keystroke.
    if (filesFollow) {
        scheduleFileQuery(parsed.query, searchGeneration_, caseSensitive, projectRoot, noMatchesState_,
                          answerFor(std::move(response), !waits));
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
    refreshSearch(SearchSource::scanRefresh);
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
        mergeFilesAgain(parsed);
        return;
    }
    if (asyncUpdateEngine_->isNavigationActive()) {
        deferRefresh("recentFiles");
        return;
    }
    // The browser re-selects its first category when rebuilt; the refresh keeps the user's item.
    refreshSearch(SearchSource::recentFilesReady, filesScope);
}

// An ordinary query's file matches were ranked from the project's list, which is made again, before its
// recent files, when the project changed: a file made while the user was in another project is listed
// only then, often after the query was typed. The list on screen stays until the new matches merge.
void SearchCoordinator::mergeFilesAgain(const ParsedQuery& parsed) {
    if (parsed.query.empty() || parsed.scopes || parsed.urlOnly || unifiedAtContext_ || !isPopupVisible() ||
        display_->isHelpMode()) {
        return;
    }
    const auto context = contextProvider ? contextProvider() : std::nullopt;
    if (!context) {
        return;
    }
    SearchResponse response = registry_.search(parsed, context->searchOptions);
    scheduleFileQuery(parsed.query, searchGeneration_, context->searchOptions.caseSensitive,
                      context->projectRoot,
                      context->scanInFlight ? std::nullopt : std::optional<SearchEmptyState>(noMatchesState_),
                      answerFor(std::move(response), false));
}

bool SearchCoordinator::sameResultIdentity(const std::vector<SearchResult>& a,
                                           const std::vector<SearchResult>& b) {
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

void SearchCoordinator::noteNavigation() {
    asyncUpdateEngine_->lastNavigationTime = asyncUpdateEngine_->currentTime();
    asyncUpdateEngine_->scheduleDeferredIdle(deferredIdleHandler());
}

} // namespace korvane
