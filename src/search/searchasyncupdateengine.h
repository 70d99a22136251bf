#pragma once

#include "base/cancellationtoken.h"
#include "base/scheduler.h"
#include "model/searchresult.h"
#include "presentation/searchviewstate.h"
#include "registry/searchresponse.h"
#include "search/filesearchsource.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korvane {

// Holds asynchronous updates of the popup back while the user moves the selection, releases them
// once navigation has paused, and runs the debounced file-path query whose matches are merged behind
// the registry results of the current query. Main thread; its tasks hold it weakly, and only the
// file search itself runs on a background job.
class SearchAsyncUpdateEngine : public std::enable_shared_from_this<SearchAsyncUpdateEngine> {
public:
    // The updates held back since the last flush.
    struct DeferredWork {
        bool needsRefresh = false;
        std::set<std::string> reasons;
        std::int64_t deferredGeneration = 0;
        std::optional<std::string> selectedSnippetID;

        bool operator==(const DeferredWork&) const = default;
    };

    // What a file-query merge reads of and does to the search coordinator; each function holds the
    // coordinator weakly and answers as stated when it is gone.
    struct MergeDependencies {
        std::function<std::int64_t()> currentGeneration;
        std::function<std::optional<std::string>()> activeQuery;
        std::function<std::optional<std::string>()> selectedSnippetID;
        std::function<bool()> isNavigationActive;
        std::function<void(const std::string& reason, std::int64_t generation,
                           const std::optional<std::string>& selectedID)>
            deferRefresh;
        std::function<const SearchViewState&()> currentSearchViewState;
        std::function<bool(const std::vector<SearchResult>&, const std::vector<SearchResult>&)> sameResultIdentity;
        std::function<bool()> hasSeenResultsInSession;
        // Shows the merged list with the entry `selectedID` kept selected.
        std::function<void(std::vector<SearchResult> results, const SearchResponse& response,
                           const std::optional<std::string>& projectRoot, const std::optional<std::string>& message,
                           SearchEmptyState::Style style, const std::optional<std::string>& selectedID)>
            showPopup;
        // The file query has answered, whether or not its answer changed the list.
        std::function<void()> filesAnswered;
    };
    // The registry's answer to the query, found when the query was searched and reused by the merge.
    // When its results went on screen unchanged they are not copied: the merge reads them from the
    // list shown, which nothing replaces without starting a new file query.
    struct RegistryAnswer {
        std::shared_ptr<const SearchResponse> response;
        bool resultsOnScreen = false;
    };

    static constexpr double navigationPause = 0.3;
    static constexpr double fileQueryDebounce = 0.05;
    static constexpr std::size_t maxMergedFileResults = 8;

    // `currentTime` gives monotonic seconds; `scheduler` must outlive the engine.
    static std::shared_ptr<SearchAsyncUpdateEngine> create(Scheduler& scheduler, std::function<double()> currentTime);
    ~SearchAsyncUpdateEngine();
    SearchAsyncUpdateEngine(const SearchAsyncUpdateEngine&) = delete;
    SearchAsyncUpdateEngine& operator=(const SearchAsyncUpdateEngine&) = delete;

    double navigationIdleThreshold = navigationPause;
    std::function<double()> currentTime;
    // Monotonic seconds of the last navigation key; 0 when none in this session.
    double lastNavigationTime = 0;
    DeferredWork deferredWork;

    bool hasDeferredIdleTask() const { return deferredIdleTask_.has_value(); }
    bool hasFileQueryTask() const { return fileQueryTask_.has_value(); }

    // Whether a navigation key came less than 0.3 s ago.
    bool isNavigationActive() const;

    // Cancels the running idle wait and starts one that calls `handler` once navigation has paused.
    void scheduleDeferredIdle(std::function<void()> handler);
    // Notes a held-back update and restarts the idle wait with `handler`.
    void recordDeferred(const std::string& reason, std::int64_t generation,
                        const std::optional<std::string>& selectedSnippetID, std::function<void()> handler);
    void clearDeferredWork();
    void cancelDeferredIdle();
    void cancelFileQuery();
    // Clears the held-back work and cancels both tasks.
    void cancelAll();

    // Cancels the running file query and starts one for `query` of `generation` that, after the
    // debounce, searches `source` and merges its matches behind `registryAnswer`.
    void startFileQuery(MergeDependencies dependencies, RegistryAnswer registryAnswer,
                        std::shared_ptr<FileSearchSource> source,
                        std::string query, std::int64_t generation, bool caseSensitive, std::string projectRoot,
                        std::optional<SearchEmptyState> noMatchesState);

    // Merges `fileResults` of a file query behind the registry's answer to the current query.
    void mergeFileSearch(const MergeDependencies& dependencies, const RegistryAnswer& registryAnswer,
                         const std::vector<SearchResult>& fileResults, std::int64_t generation,
                         const std::string& projectRoot, const std::optional<SearchEmptyState>& noMatchesState,
                         const CancellationToken& task);

private:
    SearchAsyncUpdateEngine(Scheduler& scheduler, std::function<double()> currentTime);

    void idleStep(CancellationToken task, std::shared_ptr<std::function<void()>> handler);

    Scheduler& scheduler_;
    std::optional<CancellationToken> deferredIdleTask_;
    std::optional<CancellationToken> fileQueryTask_;
};

} // namespace korvane
