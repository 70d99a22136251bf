#pragma once

#include "base/clock.h"
#include "base/workerpool.h"
#include "files/commandrunner.h"
#include "files/recentfilessnapshot.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Keeps, per project root, the snapshot of files with uncommitted changes, picked in this session,
// committed this week and modified on disk lately. One build per root runs at a time, whoever asked
// for it; a snapshot built before the root had an index is not built again until the index is there.
// Paths are always relative to the root, also for a root in a subfolder of a repository. Any thread;
// the lock is never held while git runs, files are examined or a callback is called.
class RecentFilesTracker : public std::enable_shared_from_this<RecentFilesTracker> {
public:
    // What the file path index knows of a root.
    struct IndexInfo {
        std::optional<bool> usedGit;
        bool hasIndex = false;
        std::vector<std::string> recentByMtime;
    };
    using IndexInfoProvider = std::function<IndexInfo(const std::string& root)>;
    using ReadyCallback = std::function<void(const std::string& root)>;
    using LoadingCallback = std::function<void(const std::string& root, bool isLoading)>;

    static constexpr double gitTimeout = 0.5;
    static constexpr std::size_t committedLimit = 50;
    // Uncommitted files kept, in git's order: from the thousandth on a file's recency score would be
    // zero or below, ranking it under files nobody touched, so the rest are left out.
    static constexpr std::size_t uncommittedLimit = 1000;
    static constexpr double selectionWindow = 1800;
    static constexpr std::size_t selectionLimit = 200;
    static constexpr double freshness = 30;

    // Background refreshes run on `workers`, which outlives the tracker.
    RecentFilesTracker(const Clock& clock, CommandRunner commandRunner, WorkerPool& workers);

    RecentFilesSnapshot snapshot(const std::string& root);
    // As snapshot, without copying the lists: the cached snapshot itself, never changed once made.
    std::shared_ptr<const RecentFilesSnapshot> sharedSnapshot(const std::string& root);
    // The cached snapshot, never built on the caller's thread: without one a refresh starts and an
    // empty snapshot stamped now is answered.
    std::shared_ptr<const RecentFilesSnapshot> cachedSnapshot(const std::string& root);
    // Starts a background refresh when the snapshot of `root` is due: none is cached, it is older than
    // `freshness`, or it was built before the root had an index and the index, now there, was not
    // listed by git. One built before the index whose index git listed holds what a build would list,
    // and counts as built with it.
    void refreshIfStale(const std::string& root);
    // Makes the snapshot of `root` from the index as it now stands, however fresh the cached one was,
    // stores it and tells onRecentFilesReady: a refresh the user asked for, run on a worker. It builds
    // on this thread, or, while another build of the root runs, has that one build once more when it
    // ends and waits for it.
    void refreshNow(const std::string& root);
    void recordSelection(const std::string& snippetID, const std::string& root);
    void clearCaches();
    // Forgets the snapshots but keeps the session's selections (changed include paths). A build under way
    // still stores its snapshot, as with clearCaches.
    void clearSnapshots();
    // Whether a background refresh of `root` is running.
    bool isRefreshing(const std::string& root) const;

    void setIndexInfoProvider(IndexInfoProvider provider);
    void setCallbacks(ReadyCallback onReady, LoadingCallback onLoadingChanged);

    // The paths of `git status --porcelain` lines, relative to the root: `prefix` is the root's place
    // in the repository ("" at its top, else ending in "/"); paths outside it are left out.
    static std::vector<std::string> parseStatus(const std::vector<std::string>& lines,
                                                const std::string& prefix);

private:
    struct Cached {
        std::shared_ptr<const RecentFilesSnapshot> snapshot;
        // When a snapshot built before the root had an index was built; none for one built with it.
        std::optional<Clock::WallTime> builtBeforeIndex;
    };
    // The build of a root under way, and what was asked of it meanwhile.
    struct Flight {
        // Told onRecentFilesLoadingChanged: a background refresh.
        bool background = false;
        // Asked for once more, from the index as it stands when this build ends.
        bool again = false;
        // Someone waits for onRecentFilesReady.
        bool tell = false;
        // The number of the background job that is to build it while that job waits in the queue; 0
        // once a build runs. A caller that needs the snapshot builds a waiting flight itself: the job
        // may sit behind that very caller in a pool whose threads are all waiting.
        std::uint64_t queued = 0;
    };

    RecentFilesSnapshot build(const std::string& root, const IndexInfo& info) const;
    std::vector<std::string> uncommittedPaths(const std::string& root) const;
    std::vector<std::string> committedPaths(const std::string& root) const;
    std::vector<std::string> sessionSelections(const std::string& root) const;
    std::vector<std::string> selectionsLocked(const std::string& root, Clock::WallTime now) const;
    IndexInfo indexInfo(const std::string& root) const;
    // `cached` as a read serves it, a refresh started when it is due.
    std::shared_ptr<const RecentFilesSnapshot> serve(const std::string& root, Cached cached);
    void startRefresh(const std::string& root);
    // Builds and stores the snapshot of `root`, whose flight the caller began, as many times as asked
    // meanwhile, then ends the flight: the last snapshot built, and whether anyone waits to be told.
    std::pair<std::shared_ptr<const RecentFilesSnapshot>, bool> fly(const std::string& root);
    // Begins the flight of `root` when it still waits in the queue: whether the caller is to fly it.
    // Under the lock.
    bool beginQueuedLocked(const std::string& root, std::uint64_t ticket = 0);
    // Numbers a build as it begins, before it reads anything, so that stores can keep the newest.
    std::uint64_t beginBuild();
    // Caches `snapshot` unless a build that began later has already stored one. Under the lock.
    void storeLocked(const std::string& root, std::uint64_t build, Cached cached);
    void tellReady(const std::string& root) const;

    const Clock& clock_;
    CommandRunner commandRunner_;
    WorkerPool& workers_;
    mutable std::mutex lock_;
    IndexInfoProvider indexInfoProvider_;
    std::map<std::string, Cached> recentFilesCache_;
    // Kept through clearing, so that a build still running stays the only one of its root.
    std::map<std::string, Flight> flights_;
    std::condition_variable flightEnded_;
    std::uint64_t buildsBegun_ = 0;
    std::uint64_t jobsQueued_ = 0;
    // The number of the build whose snapshot each root's cache holds.
    std::map<std::string, std::uint64_t> storedBuilds_;
    std::map<std::string, Clock::WallTime> recentSelections_;
    ReadyCallback onRecentFilesReady_;
    LoadingCallback onRecentFilesLoadingChanged_;
};

} // namespace korvane
