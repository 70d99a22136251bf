#include "files/filepathindexcache.h"

#include "base/diagnostics.h"
#include "files/filepathindexbuilder.h"
#include "files/gitscanlister.h"
#include "files/projectchangewatch.h"
#include "files/projectstatestamp.h"
#include "files/rootname.h"
#include "files/unlistedfolders.h"

#include <algorithm>
#include <chrono>
#include <fmt/format.h>
#include <malloc.h>
#include <utility>

namespace korvane {

// Marks a root as being built for as long as it lives, so that no exit path leaves the mark behind
// and waiters of the root are told when it goes.
class FilePathIndexCache::BuildingMark {
public:
    BuildingMark(FilePathIndexCache& owner, std::string root)
        : owner_(owner)
        , root_(std::move(root)) {}
    ~BuildingMark() {
        {
            std::lock_guard lock(owner_.buildLock_);
            owner_.buildingRoots_.erase(root_);
        }
        owner_.buildEnded_.notify_all();
    }
    BuildingMark(const BuildingMark&) = delete;
    BuildingMark& operator=(const BuildingMark&) = delete;

private:
    FilePathIndexCache& owner_;
    std::string root_;
};

FilePathIndexCache::FilePathIndexCache(const Clock& clock, CommandRunner commandRunner, WorkerPool& workers,
                                       std::shared_ptr<GitLsFilesBroker> broker,
                                       std::shared_ptr<TreeWatchSource> treeWatches)
    : clock_(clock)
    , commandRunner_(std::move(commandRunner))
    , workers_(workers)
    , broker_(std::move(broker))
    , treeWatches_(std::move(treeWatches)) {}

bool FilePathIndexCache::isStale(const FilePathIndex& index) const {
    return secondsBetween(index.checkTime, clock_.now()) > staleAfter;
}

bool FilePathIndexCache::isRetryDue(const FilePathIndex& index) const {
    return index.retryDelay > 0 && secondsBetween(index.buildTime, clock_.now()) >= index.retryDelay;
}

void FilePathIndexCache::touchAccessOrder(const std::string& root) {
    std::erase(accessOrder_, root);
    accessOrder_.push_back(root);
}

void FilePathIndexCache::evictIfNeeded() {
    while (cache_.size() > maxEntries && !accessOrder_.empty()) {
        cache_.erase(accessOrder_.front());
        accessOrder_.erase(accessOrder_.begin());
    }
}

FilePathIndex FilePathIndexCache::index(const std::string& root) {
    const auto start = clock_.monotonicNow();
    {
        std::unique_lock lock(lock_);
        if (const auto found = cache_.find(root); found != cache_.end()) {
            FilePathIndex copy = found->second;
            touchAccessOrder(root);
            lock.unlock();
            if (isStale(copy)) {
                scheduleRevalidation(root);
            }
            return copy;
        }
    }
    while (true) {
        {
            std::lock_guard lock(lock_);
            if (const auto found = cache_.find(root); found != cache_.end()) {
                touchAccessOrder(root);
                return found->second;
            }
        }
        bool building = false;
        {
            std::lock_guard lock(buildLock_);
            building = !buildingRoots_.insert(root).second;
        }
        if (!building) {
            break;
        }
        if (auto waited = waitForBuild(root, buildWaitMs)) {
            std::lock_guard lock(lock_);
            touchAccessOrder(root);
            return *waited;
        }
    }
    const BuildingMark mark(*this, root);
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(lock_);
        generation = configGeneration_;
    }
    const auto buildStart = clock_.monotonicNow();
    const std::optional<FilePathIndex> attempt = tryBuildIndex(root);
    const FilePathIndex built = attempt.value_or(emptyIndex(root));
    const double buildMs = millisecondsSince(buildStart, clock_);
    {
        std::lock_guard lock(lock_);
        if (generation == configGeneration_ && attempt) {
            cache_[root] = built;
            touchAccessOrder(root);
            evictIfNeeded();
        }
    }
    performanceLog(logCategory, fmt::format("[CACHE MISS] root={} files={} buildMs={:.2f}ms totalMs={:.2f}ms",
                                            logRootName(root), built.relativePaths->size(), buildMs,
                                            millisecondsSince(start, clock_)));
    return built;
}

std::optional<FilePathIndex> FilePathIndexCache::cached(const std::string& root) const {
    std::lock_guard lock(lock_);
    const auto found = cache_.find(root);
    return found != cache_.end() ? std::optional(found->second) : std::nullopt;
}

bool FilePathIndexCache::isIndexTruncated(const std::string& root) const {
    std::lock_guard lock(lock_);
    const auto found = cache_.find(root);
    return found != cache_.end() && found->second.wasTruncated;
}

void FilePathIndexCache::prewarm(const std::string& root) {
    {
        std::lock_guard lock(buildLock_);
        if (!buildingRoots_.insert(root).second) {
            return;
        }
    }
    const BuildingMark mark(*this, root);
    std::uint64_t generation = 0;
    bool cached = false;
    {
        std::lock_guard lock(lock_);
        cached = cache_.contains(root);
        generation = configGeneration_;
    }
    // A project that just became current may have changed while another was: its stamp is cheap to
    // take, so it is looked at however fresh its list.
    if (cached) {
        revalidateOnce(root, generation);
        return;
    }
    std::optional<FilePathIndex> built = tryBuildIndex(root);
    std::lock_guard lock(lock_);
    if (generation != configGeneration_ || !built) {
        return;
    }
    if (const auto found = cache_.find(root); found != cache_.end() && !isStale(found->second)) {
        return;
    }
    cache_[root] = std::move(*built);
    touchAccessOrder(root);
    evictIfNeeded();
}

void FilePathIndexCache::checkForChanges(const std::string& root) {
    {
        std::lock_guard lock(lock_);
        if (!cache_.contains(root)) {
            return;
        }
    }
    scheduleRevalidation(root);
}

bool FilePathIndexCache::setIncludePaths(std::vector<std::string> includePaths) {
    std::lock_guard lock(lock_);
    if (includePaths == includePaths_) {
        return false;
    }
    includePaths_ = std::move(includePaths);
    ++configGeneration_;
    cache_.clear();
    accessOrder_.clear();
    revalidatingRoots_.clear();
    return true;
}

void FilePathIndexCache::clear() {
    {
        std::lock_guard lock(lock_);
        cache_.clear();
        accessOrder_.clear();
    }
    // Listings that were never taken are held only for a build that may never come.
    if (broker_) {
        broker_->clear();
    }
}

std::optional<FilePathIndex> FilePathIndexCache::waitForBuild(const std::string& root, double milliseconds) {
    // Woken when a build ends rather than polling; the deadline bounds one wait as a span of polling would.
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double, std::milli>(std::max(milliseconds, 10.0)));
    while (true) {
        {
            std::lock_guard lock(lock_);
            if (const auto found = cache_.find(root); found != cache_.end()) {
                return found->second;
            }
        }
        std::unique_lock lock(buildLock_);
        if (!buildingRoots_.contains(root)) {
            return std::nullopt;
        }
        if (!buildEnded_.wait_until(lock, deadline, [&] { return !buildingRoots_.contains(root); })) {
            return std::nullopt;
        }
    }
}

void FilePathIndexCache::scheduleRevalidation(const std::string& root) {
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(lock_);
        if (!revalidatingRoots_.insert(root).second) {
            return;
        }
        generation = configGeneration_;
    }
    workers_.run([weak = weak_from_this(), root, generation] {
        if (const auto self = weak.lock()) {
            self->revalidateMarked(root, generation);
        }
    });
}

void FilePathIndexCache::revalidateOnce(const std::string& root, std::uint64_t generation) {
    {
        std::lock_guard lock(lock_);
        if (!revalidatingRoots_.insert(root).second) {
            return;
        }
    }
    revalidateMarked(root, generation);
}

void FilePathIndexCache::revalidateMarked(const std::string& root, std::uint64_t generation) {
    revalidate(root, generation);
    std::lock_guard lock(lock_);
    revalidatingRoots_.erase(root);
}

void FilePathIndexCache::revalidate(const std::string& root, std::uint64_t generation) {
    // A listing the scan left after the index was built would otherwise wait for a rebuild that an
    // unchanged project never needs.
    if (broker_) {
        broker_->prune(FilePathIndexBuilder::brokerMaxAge);
    }
    std::optional<FilePathIndex> cached;
    {
        std::lock_guard lock(lock_);
        if (const auto found = cache_.find(root); found != cache_.end()) {
            cached = found->second;
        }
    }
    if (!cached) {
        store(root, generation, tryBuildIndex(root));
        return;
    }
    std::optional<ProjectStateStamp> stamp;
    bool unchanged = false;
    const bool watched = cached->changeWatch && (cached->unlistedFolders->empty() || cached->unlistedWatch);
    if (watched && cached->stateStamp.settled) {
        // Nothing happened to the folders the stamp reads and git's files and the root are as they
        // were: the stamp would come out the same. What the watches saw is listed again unweighed.
        unchanged = !cached->changeWatch->changed() && !(cached->unlistedWatch && cached->unlistedWatch->changed()) &&
                    ProjectStateStamp::takeHead(root) == cached->stateStamp.headValue;
    } else {
        stamp = ProjectStateStamp::take(root, cached->treeEntries(), std::chrono::system_clock::now());
        unchanged = cached->stateStamp.settled && stamp->value == cached->stateStamp.value;
    }
    if (unchanged && !isRetryDue(*cached)) {
        std::lock_guard lock(lock_);
        if (const auto found = cache_.find(root);
            found != cache_.end() && found->second.relativePaths == cached->relativePaths) {
            found->second.checkTime = clock_.now();
        }
        return;
    }
    // A stamp unsettled only by times ahead of the clock settles once the list is read again between
    // two stamps that agree.
    const std::optional<ProjectStateStamp> checkedBefore =
        cached->stateStamp.aheadOfClockOnly ? stamp : std::nullopt;
    if (store(root, generation, tryBuildIndex(root, checkedBefore, cached->retryDelay)) && onListChanged) {
        onListChanged(root);
    }
}

bool FilePathIndexCache::store(const std::string& root, std::uint64_t generation,
                               std::optional<FilePathIndex> built) {
    {
        std::lock_guard lock(lock_);
        if (!built || generation != configGeneration_) {
            return false;
        }
        cache_[root] = std::move(*built);
        touchAccessOrder(root);
        evictIfNeeded();
    }
    built.reset();
    // The replaced list's memory goes back to the system rather than staying with the allocator.
    ::malloc_trim(0);
    return true;
}

void FilePathIndexCache::refresh(const std::string& root, std::function<void()> then) {
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(lock_);
        generation = configGeneration_;
    }
    workers_.run([weak = weak_from_this(), root, generation, then = std::move(then)] {
        if (const auto self = weak.lock()) {
            self->store(root, generation, self->tryBuildIndex(root));
        }
        if (then) {
            then();
        }
    });
}

std::optional<FilePathIndex>
FilePathIndexCache::tryBuildIndex(const std::string& root,
                                  const std::optional<ProjectStateStamp>& checkedBefore,
                                  double previousRetryDelay) {
    try {
        return buildIndex(root, checkedBefore, previousRetryDelay);
    } catch (...) {
        return std::nullopt;
    }
}

FilePathIndex FilePathIndexCache::emptyIndex(const std::string& root) const {
    FilePathIndex empty;
    empty.projectRoot = root;
    empty.buildTime = clock_.now();
    return empty;
}

FilePathIndex FilePathIndexCache::buildIndex(const std::string& root,
                                             const std::optional<ProjectStateStamp>& checkedBefore,
                                             double previousRetryDelay) {
    std::vector<std::string> includes;
    {
        std::lock_guard lock(lock_);
        includes = includePaths_;
    }
    FilePathIndexBuilder builder;
    builder.commandRunner = commandRunner_;
    // A listing the scan left may have been read before `checkedBefore` was taken.
    builder.broker = checkedBefore ? nullptr : broker_.get();
    builder.clock = &clock_;
    builder.logger = logCategory;
    builder.gitTimeout = gitTimeout;
    auto listedSince = std::chrono::system_clock::now();
    FilePathIndexBuilder::BuildResult result = builder.build(root, includes);
    if (result.fromBroker) {
        // The scan's git began at most its time limit before it left the listing, at most the
        // broker's age limit ago.
        listedSince -= std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::duration<double>(FilePathIndexBuilder::brokerMaxAge + GitScanLister::timeout));
    }
    logIndexMetrics(IndexMetrics{root, static_cast<int>(result.relativePaths.size()), result.gitLsFilesMs,
                                 result.fileManagerMs, 0, result.totalMs, result.usedGit});
    FilePathIndex index;
    index.projectRoot = root;
    auto paths = std::make_shared<const PathList>(result.relativePaths);
    result.relativePaths = {};
    const ProjectStateStamp::TreeEntries entries = ProjectStateStamp::treeEntries(*paths);
    // Armed first, so that what changes once the stamp has read it is seen.
    if (treeWatches_) {
        index.changeWatch = ProjectChangeWatch::arm(*treeWatches_, root, entries);
    }
    // The folders the listing takes files from that hold none are found from what the stamp's stat
    // calls showed, then watched and stamped after the others.
    const auto judge = result.usedGit ? UnlistedFolders::gitJudge(commandRunner_, root, gitTimeout)
                                      : UnlistedFolders::walkJudge();
    auto unlisted = std::make_shared<std::vector<std::string>>();
    std::vector<std::string_view> unlistedNames;
    const auto findUnlisted = [&](const std::vector<std::string_view>& roomy) {
        *unlisted = UnlistedFolders::find(root, *paths, entries, roomy, judge);
        unlistedNames.assign(unlisted->begin(), unlisted->end());
        if (treeWatches_ && !unlisted->empty()) {
            index.unlistedWatch =
                ProjectChangeWatch::arm(*treeWatches_, root, ProjectStateStamp::TreeEntries{.folders = unlistedNames});
        }
        return unlistedNames;
    };
    index.stateStamp = ProjectStateStamp::take(root, entries, listedSince, findUnlisted);
    index.unlistedFolders = std::move(unlisted);
    index.stateStamp.settled |=
        index.stateStamp.aheadOfClockOnly && checkedBefore && checkedBefore->value == index.stateStamp.value;
    index.relativePaths = std::move(paths);
    index.buildTime = clock_.now();
    index.checkTime = index.buildTime;
    index.recentByMtime = std::move(result.recentByMtime);
    index.wasTruncated = result.wasTruncated;
    index.usedGit = result.usedGit;
    // git is asked again later, less often each time it still fails, so that a slow moment does not
    // leave the project with a partial list for good. An answer that stays while the project does (no
    // repository, a work tree not the folder's own, no git) leaves the walked list to the project's
    // stamp, which sees a repository made or a folder changed.
    const bool finalAnswer = result.gitFailed && isFinal(result.gitFailure);
    if ((result.gitFailed && !finalAnswer) || result.wasTruncated) {
        index.retryDelay =
            previousRetryDelay > 0 ? std::min(previousRetryDelay * 2, retryDelayLimit) : staleAfter;
    }
    tellWhyWalked(root, finalAnswer ? std::optional(result.gitFailure) : std::nullopt);
    return index;
}

void FilePathIndexCache::tellWhyWalked(const std::string& root, std::optional<GitFailure> finalAnswer) {
    {
        std::lock_guard lock(lock_);
        if (!finalAnswer) {
            toldFinal_.erase(root);
            return;
        }
        if (const GitFailure* told = toldFinal_.find(root); told && *told == *finalAnswer) {
            return;
        }
        toldFinal_.insert(root, *finalAnswer);
    }
    performanceLog(logCategory, fmt::format("[FILEMANAGER FINAL] root={} gitFailure={}", logRootName(root),
                                            toString(*finalAnswer)));
}

void FilePathIndexCache::logIndexMetrics(const IndexMetrics& metrics) {
    if (metrics.totalMs > 200.0) {
        performanceLog(logCategory,
                       fmt::format("[SLOW INDEX] root={} files={} total={:.2f}ms",
                                   logRootName(metrics.projectRoot), metrics.fileCount, metrics.totalMs));
    }
}

} // namespace korvane
