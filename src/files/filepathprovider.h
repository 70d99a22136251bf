#pragma once

#include "base/cancellationtoken.h"
#include "base/clock.h"
#include "base/workerpool.h"
#include "files/commandrunner.h"
#include "files/filepathindex.h"
#include "files/filepathindexcache.h"
#include "files/filepathsearchranker.h"
#include "files/gitlsfilesbroker.h"
#include "files/recentfilestracker.h"
#include "model/livescopeprovider.h"
#include "platform/treewatchsource.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The file path source: answers each query of the files scope with ranked paths of the current
// project, taken from its cache of path indexes (warmed ahead of use), and lists the project's recent
// files. It owns the index cache and the recent files tracker; the composition root owns it. Any
// thread; `lock_` is never held while an index is built or a callback runs.
class FilePathProvider final : public LiveScopeProvider, public std::enable_shared_from_this<FilePathProvider> {
public:
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

    static constexpr std::size_t resultLimit = 50;
    static constexpr const char* logCategory = FilePathIndexCache::logCategory;

    // Background work (revalidation, refreshes, recent files) runs on `workers`, which outlives the
    // provider; listings the project scan left with `broker` are taken instead of running git again;
    // each listed project is watched through `treeWatches` (without one, every look at a project
    // takes its whole stamp).
    static std::shared_ptr<FilePathProvider> create(const Clock& clock, CommandRunner commandRunner,
                                                    WorkerPool& workers,
                                                    std::shared_ptr<GitLsFilesBroker> broker = nullptr,
                                                    std::shared_ptr<TreeWatchSource> treeWatches = nullptr);

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
    // Looks in the background whether the project of `root` changed since its cached index was made,
    // and when it did, lists it again and makes its recent files again (which tells
    // onRecentFilesReady). Cheap on the calling thread.
    void checkForChanges(const std::string& root);
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
                     std::shared_ptr<GitLsFilesBroker> broker, std::shared_ptr<TreeWatchSource> treeWatches);

private:
    std::vector<SearchResult> rankEmptyQuery(const FilePathIndex& index, const std::string& insertionMode);
    static void logQueryMetrics(const QueryMetrics& metrics);

    const Clock& clock_;
    const std::shared_ptr<FilePathIndexCache> indexes_;
    std::shared_ptr<RecentFilesTracker> recentTracker_;
    FilePathSearchRanker searchRanker_;

    mutable std::mutex lock_;
    std::string insertionMode_ = "projectRelative";
    std::function<void(const std::string&)> syncedReady_;
    std::function<void(const std::string&, bool)> syncedLoading_;
};

} // namespace korvane
