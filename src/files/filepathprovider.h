#pragma once

#include "base/cancellationtoken.h"
#include "base/clock.h"
#include "base/workerpool.h"
#include "files/commandrunner.h"
#include "files/filepathindex.h"
#include "files/filepathsearchranker.h"
#include "files/gitlsfilesbroker.h"
#include "files/recentfilestracker.h"
#include "model/livescopeprovider.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korvane {

// The file path source: answers each query of the files scope with ranked paths of the current
// project from a small cache of path indexes (one per root, least recently used out first), rebuilt
// in the background only when the project's files or git's state changed (looked at once the index
// has gone unchecked for a while) or when asked to, warmed ahead of use, with one build per root at
// a time. It owns the recent files tracker; the composition root owns it. Any thread; `lock_` and
// `buildLock_` are never held together, nor while an index is built, a caller waits or a callback runs.
class FilePathProvider final : public LiveScopeProvider, public std::enable_shared_from_this<FilePathProvider> {
public:
    struct IndexMetrics {
        std::string projectRoot;
        int fileCount = 0;
        std::optional<double> gitLsFilesMs;
        std::optional<double> fileManagerMs;
        double sortMs = 0;
        double totalMs = 0;
        bool usedGit = false;
    };

    struct QueryMetrics {
        std::string projectRoot;
        int fileCount = 0;
        std::string query;
        int queryLength = 0;
        bool cacheHit = true;
        bool indexStale = false;
        std::optional<double> indexBuildMs;
        double matchingMs = 0;
        double sortingMs = 0;
        double totalMs = 0;
        int candidateCount = 0;
        int resultCount = 0;
        std::map<std::string, int> matchQualityDistribution;
    };

    static constexpr std::size_t maxEntries = 5;
    // How long an index is served before the project is looked at again for a change.
    static constexpr double staleAfter = 30.0;
    // A list that is not final (git ran out of time or failed in a way that may pass, or the list was
    // cut short) is made again staleAfter seconds after its build, then after twice as long each time
    // it is still not final, up to this many seconds.
    static constexpr double retryDelayLimit = 240.0;
    static constexpr std::size_t resultLimit = 50;
    static constexpr double gitTimeout = 5.0;
    static constexpr double buildWaitMs = 300;
    static constexpr const char* logCategory = "FilePathProvider.Performance";

    // Background work (revalidation, refreshes, recent files) runs on `workers`, which outlives the
    // provider; listings the project scan left with `broker` are taken instead of running git again.
    static std::shared_ptr<FilePathProvider> create(const Clock& clock, CommandRunner commandRunner,
                                                    WorkerPool& workers,
                                                    std::shared_ptr<GitLsFilesBroker> broker = nullptr);

    std::vector<SearchResult> search(const std::string& query, const std::string& projectRoot,
                                     bool caseSensitive) override;
    // Counts towards the file's recency in the recent files.
    void recordSelection(const std::string& snippetID, const std::string& root) override;
    // As search; a cancelled token ends the ranking early with no results.
    std::vector<SearchResult> search(const std::string& query, const std::string& projectRoot, bool caseSensitive,
                                     const CancellationToken* cancellation);
    std::vector<SearchResult> rank(const std::string& query, const FilePathIndex& index,
                                   const std::string& insertionMode, bool caseSensitive,
                                   const CancellationToken* cancellation = nullptr);
    // The cached index of `root`, built first when there is none; a stale one is served and rebuilt
    // in the background.
    FilePathIndex index(const std::string& root);

    std::vector<std::string> recentPaths(const std::string& root, std::size_t limit);
    bool isIndexTruncated(const std::string& root);
    // Whether the recent files of `root` are being refreshed.
    bool isRecentFilesLoading(const std::string& root) const;
    void configure(const std::string& insertionMode, const std::optional<std::vector<std::string>>& includePaths);
    void prewarm(const std::string& root);
    // Rebuilds the index of `root` and then its recent files in the background whatever their state
    // (the user asked for it), then calls `done` on the worker.
    void refresh(const std::string& root, std::function<void()> done);
    void clearAllCaches();
    void syncRecentFilesCallbacks();
    std::string insertionMode() const;

    static Snippet makeSnippet(std::string_view relativePath, std::string_view projectRoot,
                               std::string_view insertionMode) {
        return makeFileSnippet(relativePath, projectRoot, insertionMode);
    }

    RecentFilesTracker& recentTracker() { return *recentTracker_; }
    const FilePathSearchRanker& searchRanker() const { return searchRanker_; }

    // Set on the main thread, then handed to the tracker by syncRecentFilesCallbacks; called on
    // worker threads.
    std::function<void(const std::string& root)> onRecentFilesReady;
    std::function<void(const std::string& root, bool isLoading)> onRecentFilesLoadingChanged;

    FilePathProvider(const Clock& clock, CommandRunner commandRunner, WorkerPool& workers,
                     std::shared_ptr<GitLsFilesBroker> broker);

private:
    class BuildingMark;

    // `checkedBefore`: the project's stamp taken just before, which settles the new stamp when it
    // equals it; `previousRetryDelay`: that of the list this build replaces.
    FilePathIndex buildIndex(const std::string& root,
                             const std::optional<ProjectStateStamp>& checkedBefore = {},
                             double previousRetryDelay = 0);
    // buildIndex, or nothing when the build failed in an unforeseen way (it is then answered with
    // no paths and not cached).
    std::optional<FilePathIndex> tryBuildIndex(const std::string& root,
                                               const std::optional<ProjectStateStamp>& checkedBefore = {},
                                               double previousRetryDelay = 0);
    FilePathIndex emptyIndex(const std::string& root) const;
    // Says once per root and answer that git's answer leaves the walked list as it is; none: git
    // listed, or may list next time.
    void tellWhyWalked(const std::string& root, std::optional<GitFailure> finalAnswer);
    std::optional<FilePathIndex> waitForBuild(const std::string& root, double milliseconds);
    void scheduleRevalidation(const std::string& root);
    // Rebuilds `root` when its project changed since its cached index was made, else marks it checked.
    void revalidate(const std::string& root, std::uint64_t generation);
    // Stores a finished build unless the configuration changed since it began.
    void store(const std::string& root, std::uint64_t generation, std::optional<FilePathIndex> built);
    void touchAccessOrder(const std::string& root);
    void evictIfNeeded();
    bool isStale(const FilePathIndex& index) const;
    bool isRetryDue(const FilePathIndex& index) const;
    void runInBackground(std::function<void()> job);
    std::vector<SearchResult> rankEmptyQuery(const FilePathIndex& index, const std::string& insertionMode);
    static void logQueryMetrics(const QueryMetrics& metrics);
    static void logIndexMetrics(const IndexMetrics& metrics);

    const Clock& clock_;
    CommandRunner commandRunner_;
    WorkerPool& workers_;
    std::shared_ptr<GitLsFilesBroker> broker_;
    std::shared_ptr<RecentFilesTracker> recentTracker_;
    FilePathSearchRanker searchRanker_;

    mutable std::mutex lock_;
    std::map<std::string, FilePathIndex> cache_;
    std::vector<std::string> accessOrder_;
    std::set<std::string> revalidatingRoots_;
    std::string insertionMode_ = "projectRelative";
    std::vector<std::string> includePaths_;
    std::uint64_t configGeneration_ = 0;
    // The final answer of git last told for each root whose list git does not give.
    std::map<std::string, GitFailure> toldFinal_;
    std::function<void(const std::string&)> syncedReady_;
    std::function<void(const std::string&, bool)> syncedLoading_;

    mutable std::mutex buildLock_;
    std::condition_variable buildEnded_;
    std::set<std::string> buildingRoots_;
};

} // namespace korvane
