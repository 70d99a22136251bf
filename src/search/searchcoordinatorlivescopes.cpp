#include "search/searchcoordinator.h"

namespace korvane {

// The search coordinator's live scopes: built-in and custom scopes whose results come from a query run
// on each keystroke, with their messages and the loading flag.

void SearchCoordinator::showNoProject(SearchUpdate update, const LiveQuery& query) {
    setResults(update, {}, query.chip, query.scope, false, false, true, false,
               SearchEmptyState{"No project detected - cd into a project directory",
                                SearchEmptyState::Style::standard},
               std::nullopt);
    publish(std::move(update));
}

SearchEmptyState SearchCoordinator::customEmptyHint(const CustomProviderConfig& config) const {
    if (config.emptyHint) {
        return {*config.emptyHint, SearchEmptyState::Style::compact};
    }
    return {"Type @" + config.scope.value_or(config.id) + " to search", SearchEmptyState::Style::compact};
}

void SearchCoordinator::startLiveScopeQuery(SearchUpdate update, LiveQuery query) {
    if (!(isPopupVisible() && display_->isLiveScopeActive())) {
        std::optional<SearchEmptyState> interim;
        if (query.text.empty()) {
            interim = SearchEmptyState{"No recent file changes. Type to search all files.",
                                       SearchEmptyState::Style::compact};
        }
        setResults(update, {}, query.chip, query.scope, false, false, true, query.bareScope, interim,
                   query.projectRoot);
        // The interim list replaces what the refresh would have kept selected.
        query.keepsSelection = false;
    }
    update.sourcesRunning = true;
    publish(std::move(update));
    query.debounce = query.text.empty() ? 0.0 : liveScopeDebounce;
    runLiveQuery(std::move(query));
}

void SearchCoordinator::startCustomLiveQuery(SearchUpdate update, LiveQuery query) {
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
    setResults(update, {}, query.chip, query.scope, false, false, true, query.bareScope, interim, query.projectRoot);
    update.sourcesRunning = true;
    query.keepsSelection = false;
    publish(std::move(update));
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
    // Only a list with items can be the same answer: an empty one may now carry another message
    // (the truncated index), which the interim state did not show.
    if (!results.empty() && display_->showsLiveScope(query.source) &&
        sameResultIdentity(results, display_->allResults())) {
        SearchUpdate answered;
        answered.sourcesRunning = false;
        publish(std::move(answered));
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
    SearchUpdate update;
    update.sourcesRunning = false;
    setResults(update, std::move(results), query.chip, query.scope, false, false, true, query.bareScope, emptyState,
               query.projectRoot);
    if (builtIn) {
        update.loadingRecentFiles = isFileSource && filePathSource->isRecentFilesLoading(query.projectRoot);
    }
    if (query.keepsSelection) {
        // A refresh left the list on screen until this answer: the user's entry stays selected.
        update.selectSnippetID = display_->selectedSnippetID();
    }
    publish(std::move(update));
}

} // namespace korvane
