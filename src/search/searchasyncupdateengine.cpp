#include "search/searchasyncupdateengine.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace korvane {
namespace {

// Whether the two lists hold the very same snippets, in order.
bool sameSnippets(const std::vector<SearchResult>& a, const std::vector<SearchResult>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const SearchResult& x, const SearchResult& y) { return x.snippet == y.snippet; });
}

} // namespace

std::shared_ptr<SearchAsyncUpdateEngine> SearchAsyncUpdateEngine::create(Scheduler& scheduler,
                                                                         std::function<double()> currentTime) {
    return std::shared_ptr<SearchAsyncUpdateEngine>(new SearchAsyncUpdateEngine(scheduler, std::move(currentTime)));
}

SearchAsyncUpdateEngine::SearchAsyncUpdateEngine(Scheduler& scheduler, std::function<double()> currentTime)
    : currentTime(std::move(currentTime))
    , scheduler_(scheduler) {}

SearchAsyncUpdateEngine::~SearchAsyncUpdateEngine() {
    cancelDeferredIdle();
    cancelFileQuery();
}

bool SearchAsyncUpdateEngine::isNavigationActive() const {
    return currentTime() - lastNavigationTime < navigationPause;
}

void SearchAsyncUpdateEngine::scheduleDeferredIdle(std::function<void()> handler) {
    cancelDeferredIdle();
    CancellationToken task;
    deferredIdleTask_ = task;
    idleStep(task, std::make_shared<std::function<void()>>(std::move(handler)));
}

void SearchAsyncUpdateEngine::idleStep(CancellationToken task, std::shared_ptr<std::function<void()>> handler) {
    if (task.isCancelled()) {
        return;
    }
    // The clock is monotonic, so the wait can never exceed one pause; the clamp keeps a navigation
    // time stamped from elsewhere from holding updates back for longer.
    const double remaining = std::min(lastNavigationTime - currentTime() + navigationPause, navigationPause);
    if (remaining <= 0) {
        if (deferredIdleTask_ && *deferredIdleTask_ == task) {
            deferredIdleTask_.reset();
        }
        if (*handler) {
            (*handler)();
        }
        return;
    }
    const double sleep = std::ceil(remaining * 1e9) / 1e9 + 0.001;
    std::weak_ptr<SearchAsyncUpdateEngine> weak = weak_from_this();
    scheduler_.postAfter(sleep, [weak, task, handler] {
        if (auto self = weak.lock()) {
            self->idleStep(task, handler);
        }
    });
}

void SearchAsyncUpdateEngine::recordDeferred(const std::string& reason, std::int64_t generation,
                                             const std::optional<std::string>& selectedSnippetID,
                                             std::function<void()> handler) {
    deferredWork.needsRefresh = true;
    deferredWork.reasons.insert(reason);
    deferredWork.deferredGeneration = generation;
    if (selectedSnippetID) {
        deferredWork.selectedSnippetID = selectedSnippetID;
    }
    scheduleDeferredIdle(std::move(handler));
}

void SearchAsyncUpdateEngine::clearDeferredWork() {
    deferredWork = DeferredWork{};
}

void SearchAsyncUpdateEngine::cancelDeferredIdle() {
    if (deferredIdleTask_) {
        deferredIdleTask_->cancel();
        deferredIdleTask_.reset();
    }
}

void SearchAsyncUpdateEngine::cancelFileQuery() {
    if (fileQueryTask_) {
        fileQueryTask_->cancel();
        fileQueryTask_.reset();
    }
}

void SearchAsyncUpdateEngine::cancelAll() {
    clearDeferredWork();
    cancelDeferredIdle();
    cancelFileQuery();
}

void SearchAsyncUpdateEngine::startFileQuery(MergeDependencies dependencies, RegistryAnswer registryAnswer,
                                             std::shared_ptr<FileSearchSource> source,
                                             std::string query, std::int64_t generation, bool caseSensitive,
                                             std::string projectRoot,
                                             std::optional<SearchEmptyState> noMatchesState) {
    cancelFileQuery();
    if (!source || !registryAnswer.response) {
        return;
    }
    CancellationToken task;
    fileQueryTask_ = task;
    std::weak_ptr<SearchAsyncUpdateEngine> weak = weak_from_this();
    auto shared = std::make_shared<MergeDependencies>(std::move(dependencies));
    Scheduler* scheduler = &scheduler_;
    scheduler_.postAfter(fileQueryDebounce, [=] {
        auto self = weak.lock();
        if (!self || task.isCancelled() || shared->currentGeneration() != generation) {
            return;
        }
        scheduler->runInBackground(TaskPriority::userInitiated, [=](const CancellationToken&) {
            if (task.isCancelled()) {
                return;
            }
            auto results = source->search(query, projectRoot, caseSensitive, &task);
            scheduler->post([=, results = std::move(results)] {
                if (auto engine = weak.lock()) {
                    engine->mergeFileSearch(*shared, registryAnswer, results, generation, projectRoot,
                                            noMatchesState, task);
                }
            });
        });
    });
}

void SearchAsyncUpdateEngine::mergeFileSearch(const MergeDependencies& deps, const RegistryAnswer& answer,
                                              const std::vector<SearchResult>& fileResults, std::int64_t generation,
                                              const std::string& projectRoot,
                                              const std::optional<SearchEmptyState>& noMatchesState,
                                              const CancellationToken& task) {
    if (task.isCancelled() || deps.currentGeneration() != generation) {
        return;
    }
    if (fileQueryTask_ && *fileQueryTask_ == task) {
        fileQueryTask_.reset();
    }
    if (deps.isNavigationActive()) {
        deps.deferRefresh("fileSearchMerge", deps.currentGeneration(), deps.selectedSnippetID());
        return;
    }
    if (!deps.activeQuery()) {
        return;
    }
    // Told once the merged list, if any, is on screen.
    struct Answered {
        const MergeDependencies& deps;
        ~Answered() {
            if (deps.filesAnswered) {
                deps.filesAnswered();
            }
        }
    } answered{deps};
    // The registry is not searched again: its answer came with this query, and a registry change
    // since then has started a new file query with the new answer.
    const SearchResponse& response = *answer.response;
    const SearchViewState& shown = deps.currentSearchViewState();
    const std::vector<SearchResult>& registryResults = answer.resultsOnScreen ? shown.resultList() : response.results;
    std::unordered_set<std::string> registryIDs;
    registryIDs.reserve(registryResults.size());
    for (const auto& result : registryResults) {
        if (result.snippet) {
            registryIDs.insert(result.snippet->id);
        }
    }
    std::vector<SearchResult> merged = registryResults;
    std::size_t added = 0;
    for (const auto& result : fileResults) {
        if (added == maxMergedFileResults) {
            break;
        }
        if (result.snippet && !registryIDs.contains(result.snippet->id)) {
            merged.push_back(result);
            ++added;
        }
    }

    std::optional<SearchEmptyState> emptyState;
    if (merged.empty() && deps.hasSeenResultsInSession()) {
        emptyState = noMatchesState;
    }
    // The same rows stay as they are; an answer that was held back may bring a snippet anew under an id
    // on screen (a project's own snippet that no longer replaces the user's), which is shown.
    if (!shown.isEmptyState() && !merged.empty() && deps.sameResultIdentity(shown.resultList(), merged) &&
        (answer.resultsOnScreen || sameSnippets(shown.resultList(), merged))) {
        return;
    }
    if (const auto* shownEmpty = shown.emptyState();
        shownEmpty && merged.empty() && emptyState && *emptyState == *shownEmpty) {
        return;
    }
    deps.showPopup(std::move(merged), response, projectRoot,
                   emptyState ? std::optional<std::string>(emptyState->message) : std::nullopt,
                   emptyState ? emptyState->style : SearchEmptyState::Style::standard, deps.selectedSnippetID());
}

} // namespace korvane
