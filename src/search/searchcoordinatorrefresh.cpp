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

void SearchCoordinator::noteNavigation() {
    asyncUpdateEngine_->lastNavigationTime = asyncUpdateEngine_->currentTime();
    asyncUpdateEngine_->scheduleDeferredIdle(deferredIdleHandler());
}

} // namespace korvane
