#pragma once

#include "base/clock.h"
#include "base/lrumap.h"
#include "base/workerpool.h"
#include "files/commandrunner.h"
#include "files/filepathindex.h"
#include "files/gitlsfilesbroker.h"
#include "files/gitoutput.h"
#include "platform/treewatchsource.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korvane {

// The file path provider's small cache of path indexes, one per project root, least recently used out
// first: a missing index is built by the first caller while others wait for it, with one build per
// root at a time; a stale one is served while the project is looked at again in the background (as
// is any one whose project became current or in which a session began) and rebuilt only when its
// files or git's state changed (or a list that is not final is due again), or when asked to. Any
// thread; `lock_` and `buildLock_` are never held together, nor while an index is built, a caller
// waits or a callback runs.
class FilePathIndexCache final : public std::enable_shared_from_this<FilePathIndexCache> {
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

    static constexpr std::size_t maxEntries = 5;
    // How long an index is served before the project is looked at again for a change.
    static constexpr double staleAfter = 30.0;
    // A list that is not final (git ran out of time or failed in a way that may pass, or the list was
    // cut short) is made again staleAfter seconds after its build, then after twice as long each time
    // it is still not final, up to this many seconds.
    static constexpr double retryDelayLimit = 240.0;
    static constexpr double gitTimeout = 5.0;
    static constexpr double buildWaitMs = 300;
    // How many roots whose list git does not give are remembered as told; one pushed out is told again.
    static constexpr std::size_t toldRootsRemembered = 64;
    static constexpr const char* logCategory = "FilePathProvider.Performance";

    // Background work (revalidation, refreshes) runs on `workers`, which outlives the cache; listings
    // the project scan left with `broker` are taken instead of running git again; each listed project
    // is watched through `treeWatches` (without one, every look takes the project's whole stamp).
    FilePathIndexCache(const Clock& clock, CommandRunner commandRunner, WorkerPool& workers,
                       std::shared_ptr<GitLsFilesBroker> broker,
                       std::shared_ptr<TreeWatchSource> treeWatches);

    // The cached index of `root`, built first when there is none; a stale one is served and rebuilt
    // in the background.
    FilePathIndex index(const std::string& root);
    // A copy of the cached index of `root`, if any; builds nothing, waits for nothing and leaves the
    // order of use as it is.
    std::optional<FilePathIndex> cached(const std::string& root) const;
    bool isIndexTruncated(const std::string& root) const;
    bool isStale(const FilePathIndex& index) const;

    // Builds the index of `root` when none is cached, or looks at once whether the project changed
    // since the cached one was made, however lately it was looked at (the project just became
    // current); returns at once when another caller is building or checking it.
    void prewarm(const std::string& root);
    // As prewarm's look at a cached index, in the background (a session began); nothing when none is
    // cached, as the session's first lookup builds it.
    void checkForChanges(const std::string& root);
    // Rebuilds the index of `root` in the background whatever its state (the user asked for it), then
    // calls `then` on the worker, also when the cache is gone by then.
    void refresh(const std::string& root, std::function<void()> then);
    // Takes the include paths the builder adds; when they differ from the ones in use, empties the
    // cache and drops the builds under way, and returns true.
    bool setIncludePaths(std::vector<std::string> includePaths);
    // Empties the cache and the listings the project scan left.
    void clear();

    // Set before the cache is used: told on the thread that looked, after a look found the project of
    // `root` changed and its rebuilt list was stored.
    std::function<void(const std::string& root)> onListChanged;

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
    // revalidate, unless a look at `root` is already under way.
    void revalidateOnce(const std::string& root, std::uint64_t generation);
    // revalidate of a root the caller marked as being looked at; the mark goes afterwards.
    void revalidateMarked(const std::string& root, std::uint64_t generation);
    // Rebuilds `root` when its project changed since its cached index was made, else marks it checked.
    void revalidate(const std::string& root, std::uint64_t generation);
    // Stores a finished build unless the configuration changed since it began; whether it did.
    bool store(const std::string& root, std::uint64_t generation, std::optional<FilePathIndex> built);
    void touchAccessOrder(const std::string& root);
    void evictIfNeeded();
    bool isRetryDue(const FilePathIndex& index) const;
    static void logIndexMetrics(const IndexMetrics& metrics);

    const Clock& clock_;
    CommandRunner commandRunner_;
    WorkerPool& workers_;
    std::shared_ptr<GitLsFilesBroker> broker_;
    const std::shared_ptr<TreeWatchSource> treeWatches_;

    mutable std::mutex lock_;
    std::map<std::string, FilePathIndex> cache_;
    std::vector<std::string> accessOrder_;
    std::set<std::string> revalidatingRoots_;
    std::vector<std::string> includePaths_;
    std::uint64_t configGeneration_ = 0;
    // The final answer of git last told for the roots whose list git does not give, the latest first.
    LruMap<std::string, GitFailure> toldFinal_{toldRootsRemembered};

    mutable std::mutex buildLock_;
    std::condition_variable buildEnded_;
    std::set<std::string> buildingRoots_;
};

} // namespace korvane
