#include "files/filepathprovider.h"

#include "base/diagnostics.h"
#include "base/unicode.h"
#include "files/filepathindexbuilder.h"
#include "files/projectstatestamp.h"
#include "files/rootname.h"

#include <algorithm>
#include <chrono>
#include <fmt/format.h>
#include <malloc.h>
#include <utility>

namespace korvane {
namespace {

double millisecondsSince(Clock::MonotonicTime start, const Clock& clock) {
    return std::chrono::duration<double, std::milli>(clock.monotonicNow() - start).count();
}

// The recent lists as the empty query and the browser show them: uncommitted and chosen files as they
// are, committed and modified files only while the index (when there is one) still holds them. Stops
// at `limit`, so that the cost is that of the few paths shown, however many files are uncommitted.
std::vector<std::string> recentList(const RecentFilesSnapshot& snapshot, const PathList* paths, std::size_t limit) {
    std::vector<std::string> kept;
    const auto offer = [&](const std::string& path, bool checkIndex) {
        if (std::find(kept.begin(), kept.end(), path) != kept.end()) {
            return;
        }
        if (checkIndex && paths && !paths->empty() && !paths->contains(path)) {
            return;
        }
        kept.push_back(path);
    };
    for (const auto* list : {&snapshot.gitUncommitted, &snapshot.sessionSelected}) {
        for (const auto& path : *list) {
            if (kept.size() >= limit) {
                return kept;
            }
            offer(path, false);
        }
    }
    for (const auto* list : {&snapshot.gitRecentlyCommitted, &snapshot.mtimeRecent}) {
        for (const auto& path : *list) {
            if (kept.size() >= limit) {
                return kept;
            }
            offer(path, true);
        }
    }
    return kept;
}

} // namespace

// Marks a root as being built for as long as it lives, so that no exit path leaves the mark behind
// and waiters of the root are told when it goes.
class FilePathProvider::BuildingMark {
public:
    BuildingMark(FilePathProvider& provider, std::string root)
        : provider_(provider)
        , root_(std::move(root)) {}
    ~BuildingMark() {
        {
            std::lock_guard lock(provider_.buildLock_);
            provider_.buildingRoots_.erase(root_);
        }
        provider_.buildEnded_.notify_all();
    }
    BuildingMark(const BuildingMark&) = delete;
    BuildingMark& operator=(const BuildingMark&) = delete;

private:
    FilePathProvider& provider_;
    std::string root_;
};

FilePathProvider::FilePathProvider(const Clock& clock, CommandRunner commandRunner, WorkerPool& workers,
                                   std::shared_ptr<GitLsFilesBroker> broker)
    : clock_(clock)
    , commandRunner_(std::move(commandRunner))
    , workers_(workers)
    , broker_(std::move(broker))
    , recentTracker_(std::make_shared<RecentFilesTracker>(clock, commandRunner_, workers))
    , searchRanker_(clock) {}

std::shared_ptr<FilePathProvider> FilePathProvider::create(const Clock& clock, CommandRunner commandRunner,
                                                           WorkerPool& workers,
                                                           std::shared_ptr<GitLsFilesBroker> broker) {
    auto provider =
        std::make_shared<FilePathProvider>(clock, std::move(commandRunner), workers, std::move(broker));
    provider->recentTracker_->setIndexInfoProvider(
        [weak = std::weak_ptr<FilePathProvider>(provider)](const std::string& root) {
            RecentFilesTracker::IndexInfo info;
            const auto self = weak.lock();
            if (!self) {
                return info;
            }
            std::lock_guard lock(self->lock_);
            if (const auto found = self->cache_.find(root); found != self->cache_.end()) {
                info.usedGit = found->second.usedGit;
                info.hasIndex = true;
                info.recentByMtime = found->second.recentByMtime;
            }
            return info;
        });
    provider->syncRecentFilesCallbacks();
    return provider;
}

bool FilePathProvider::isStale(const FilePathIndex& index) const {
    return secondsBetween(index.checkTime, clock_.now()) > staleAfter;
}

bool FilePathProvider::isRetryDue(const FilePathIndex& index) const {
    return index.retryDelay > 0 && secondsBetween(index.buildTime, clock_.now()) >= index.retryDelay;
}

void FilePathProvider::touchAccessOrder(const std::string& root) {
    std::erase(accessOrder_, root);
    accessOrder_.push_back(root);
}

void FilePathProvider::evictIfNeeded() {
    while (cache_.size() > maxEntries && !accessOrder_.empty()) {
        cache_.erase(accessOrder_.front());
        accessOrder_.erase(accessOrder_.begin());
    }
}

void FilePathProvider::runInBackground(std::function<void()> job) {
    workers_.run(std::move(job));
}

FilePathIndex FilePathProvider::index(const std::string& root) {
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

std::optional<FilePathIndex> FilePathProvider::waitForBuild(const std::string& root, double milliseconds) {
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

void FilePathProvider::scheduleRevalidation(const std::string& root) {
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(lock_);
        if (!revalidatingRoots_.insert(root).second) {
            return;
        }
        generation = configGeneration_;
    }
    runInBackground([weak = weak_from_this(), root, generation] {
        const auto self = weak.lock();
        if (!self) {
            return;
        }
        self->revalidate(root, generation);
        std::lock_guard lock(self->lock_);
        self->revalidatingRoots_.erase(root);
    });
}

void FilePathProvider::revalidate(const std::string& root, std::uint64_t generation) {
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
    const ProjectStateStamp stamp = ProjectStateStamp::take(root, *cached->relativePaths);
    const bool unchanged = cached->stateStamp.settled && stamp.value == cached->stateStamp.value;
    if (unchanged && !isRetryDue(*cached)) {
        std::lock_guard lock(lock_);
        if (const auto found = cache_.find(root);
            found != cache_.end() && found->second.relativePaths == cached->relativePaths) {
            found->second.checkTime = clock_.now();
        }
        return;
    }
    // A stamp the clock could not settle (a change just before it, or a time ahead of the clock)
    // settles once the list is read again between two stamps that agree.
    const std::optional<ProjectStateStamp> checkedBefore =
        cached->stateStamp.settled ? std::nullopt : std::optional(stamp);
    store(root, generation, tryBuildIndex(root, checkedBefore, cached->retryDelay));
}

void FilePathProvider::store(const std::string& root, std::uint64_t generation,
                             std::optional<FilePathIndex> built) {
    {
        std::lock_guard lock(lock_);
        if (!built || generation != configGeneration_) {
            return;
        }
        cache_[root] = std::move(*built);
        touchAccessOrder(root);
        evictIfNeeded();
    }
    built.reset();
    // The replaced list's memory goes back to the system rather than staying with the allocator.
    ::malloc_trim(0);
}

void FilePathProvider::refresh(const std::string& root, std::function<void()> done) {
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(lock_);
        generation = configGeneration_;
    }
    runInBackground([weak = weak_from_this(), root, generation, done = std::move(done)] {
        if (const auto self = weak.lock()) {
            self->store(root, generation, self->tryBuildIndex(root));
            // Made from the new index: a folder just made a repository lists its changes from git now.
            self->recentTracker_->refreshNow(root);
        }
        if (done) {
            done();
        }
    });
}

std::optional<FilePathIndex>
FilePathProvider::tryBuildIndex(const std::string& root,
                                const std::optional<ProjectStateStamp>& checkedBefore,
                                double previousRetryDelay) {
    try {
        return buildIndex(root, checkedBefore, previousRetryDelay);
    } catch (...) {
        return std::nullopt;
    }
}

FilePathIndex FilePathProvider::emptyIndex(const std::string& root) const {
    FilePathIndex empty;
    empty.projectRoot = root;
    empty.buildTime = clock_.now();
    return empty;
}

FilePathIndex FilePathProvider::buildIndex(const std::string& root,
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
    FilePathIndexBuilder::BuildResult result = builder.build(root, includes);
    logIndexMetrics(IndexMetrics{root, static_cast<int>(result.relativePaths.size()), result.gitLsFilesMs,
                                 result.fileManagerMs, 0, result.totalMs, result.usedGit});
    FilePathIndex index;
    index.projectRoot = root;
    auto paths = std::make_shared<const PathList>(result.relativePaths);
    result.relativePaths = {};
    index.stateStamp = ProjectStateStamp::take(root, *paths);
    index.stateStamp.settled |= checkedBefore && checkedBefore->value == index.stateStamp.value;
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

void FilePathProvider::tellWhyWalked(const std::string& root, std::optional<GitFailure> finalAnswer) {
    {
        std::lock_guard lock(lock_);
        if (!finalAnswer) {
            toldFinal_.erase(root);
            return;
        }
        const auto told = toldFinal_.find(root);
        if (told != toldFinal_.end() && told->second == *finalAnswer) {
            return;
        }
        toldFinal_[root] = *finalAnswer;
    }
    performanceLog(logCategory, fmt::format("[FILEMANAGER FINAL] root={} gitFailure={}", logRootName(root),
                                            toString(*finalAnswer)));
}

void FilePathProvider::logIndexMetrics(const IndexMetrics& metrics) {
    if (metrics.totalMs > 200.0) {
        performanceLog(logCategory, fmt::format("[SLOW INDEX] root={} files={} total={:.2f}ms",
                                                logRootName(metrics.projectRoot), metrics.fileCount, metrics.totalMs));
    }
}

void FilePathProvider::logQueryMetrics(const QueryMetrics& metrics) {
    if (metrics.totalMs > 10.0) {
        performanceLog(logCategory, fmt::format("[SLOW QUERY] root={} total={:.2f}ms candidates={}",
                                                logRootName(metrics.projectRoot), metrics.totalMs,
                                                metrics.candidateCount));
    }
}

std::vector<SearchResult> FilePathProvider::search(const std::string& query, const std::string& projectRoot,
                                                   bool caseSensitive) {
    return search(query, projectRoot, caseSensitive, nullptr);
}

std::vector<SearchResult> FilePathProvider::search(const std::string& query, const std::string& projectRoot,
                                                   bool caseSensitive, const CancellationToken* cancellation) {
    const auto start = clock_.monotonicNow();
    const FilePathIndex found = index(projectRoot);
    const std::string mode = insertionMode();
    std::vector<SearchResult> results = rank(query, found, mode, caseSensitive, cancellation);
    const double totalMs = millisecondsSince(start, clock_);
    if (totalMs > 10.0) {
        performanceLog(logCategory, fmt::format("[SLOW QUERY] {:.2f}ms len={} in {}", totalMs, graphemeCount(query),
                                                logRootName(projectRoot)));
    }
    return results;
}

std::vector<SearchResult> FilePathProvider::rankEmptyQuery(const FilePathIndex& index, const std::string& mode) {
    const auto start = clock_.monotonicNow();
    const std::shared_ptr<const RecentFilesSnapshot> shared = recentTracker_->sharedSnapshot(index.projectRoot);
    const RecentFilesSnapshot& snapshot = *shared;
    const double snapshotMs = millisecondsSince(start, clock_);
    if (snapshotMs > 0.5) {
        performanceLog(logCategory, fmt::format("[SNAPSHOT] totalMs={:.3f}ms uncommitted={} committed={}", snapshotMs,
                                                snapshot.gitUncommitted.size(), snapshot.gitRecentlyCommitted.size()));
    }
    const auto lookupStart = clock_.monotonicNow();
    const PathList& paths = *index.relativePaths;
    const double lookupMs = millisecondsSince(lookupStart, clock_);
    performanceLog(logCategory,
                   fmt::format("[EMPTY QUERY BREAKDOWN] files={} snapshotMs={:.3f}ms lookupMs={:.3f}ms uncommitted={} "
                               "session={} committed={} mtime={}",
                               paths.size(), snapshotMs, lookupMs, snapshot.gitUncommitted.size(),
                               snapshot.sessionSelected.size(), snapshot.gitRecentlyCommitted.size(),
                               snapshot.mtimeRecent.size()));
    const std::vector<std::string> recent = recentList(snapshot, &paths, resultLimit);
    std::vector<SearchResult> results;
    for (const auto& path : recent) {
        results.push_back({std::make_shared<const Snippet>(makeSnippet(path, index.projectRoot, mode)), {}});
    }
    QueryMetrics metrics;
    metrics.projectRoot = index.projectRoot;
    metrics.fileCount = static_cast<int>(paths.size());
    metrics.indexStale = isStale(index);
    metrics.totalMs = millisecondsSince(start, clock_);
    metrics.candidateCount = static_cast<int>(recent.size());
    metrics.resultCount = static_cast<int>(results.size());
    logQueryMetrics(metrics);
    return results;
}

std::vector<SearchResult> FilePathProvider::rank(const std::string& query, const FilePathIndex& index,
                                                 const std::string& mode, bool caseSensitive,
                                                 const CancellationToken* cancellation) {
    if (query.empty()) {
        return rankEmptyQuery(index, mode);
    }
    const auto start = clock_.monotonicNow();
    if (query.find('/') != std::string::npos) {
        auto results = searchRanker_.rankSegmentQuery(query, index.relativePaths, caseSensitive, resultLimit,
                                                      index.projectRoot, mode, cancellation);
        if (!results.empty()) {
            return results;
        }
    }
    const auto snapshotStart = clock_.monotonicNow();
    const std::shared_ptr<const RecentFilesSnapshot> shared = recentTracker_->sharedSnapshot(index.projectRoot);
    const RecentFilesSnapshot& snapshot = *shared;
    const double snapshotMs = millisecondsSince(snapshotStart, clock_);
    if (snapshotMs > 1.0) {
        performanceLog(logCategory, fmt::format("[SORT SNAPSHOT] snapshotMs={:.3f}ms (called during sort, query='{}')",
                                                snapshotMs, query));
    }
    if (snapshotMs > 0.5) {
        performanceLog(logCategory, fmt::format("[SNAPSHOT] totalMs={:.3f}ms uncommitted={} committed={}", snapshotMs,
                                                snapshot.gitUncommitted.size(), snapshot.gitRecentlyCommitted.size()));
    }
    FilePathSearchRanker::PlainRanking ranking = searchRanker_.rankPlainQuery(
        query, index.relativePaths, caseSensitive, shared, resultLimit, index.projectRoot, mode, cancellation);
    QueryMetrics metrics;
    metrics.projectRoot = index.projectRoot;
    metrics.fileCount = static_cast<int>(index.relativePaths->size());
    metrics.query = query;
    metrics.queryLength = static_cast<int>(graphemeCount(query));
    metrics.indexStale = isStale(index);
    metrics.matchingMs = ranking.matchingMs;
    metrics.sortingMs = ranking.sortingMs;
    metrics.totalMs = millisecondsSince(start, clock_);
    metrics.candidateCount = ranking.candidateCount;
    metrics.resultCount = static_cast<int>(ranking.results.size());
    metrics.matchQualityDistribution = std::move(ranking.matchQualityDistribution);
    logQueryMetrics(metrics);
    return std::move(ranking.results);
}

std::vector<std::string> FilePathProvider::recentPaths(const std::string& root, std::size_t limit) {
    const auto start = clock_.monotonicNow();
    const std::shared_ptr<const RecentFilesSnapshot> snapshot = recentTracker_->cachedSnapshot(root);
    const auto lookupStart = clock_.monotonicNow();
    std::shared_ptr<const PathList> paths;
    {
        std::lock_guard lock(lock_);
        if (const auto found = cache_.find(root); found != cache_.end()) {
            paths = found->second.relativePaths;
        }
    }
    const double lookupMs = millisecondsSince(lookupStart, clock_);
    std::vector<std::string> recent = recentList(*snapshot, paths.get(), limit);
    performanceLog(logCategory, fmt::format("[RECENT_PATHS] totalMs={:.3f}ms lookupMs={:.3f}ms indexFiles={} results={}",
                                            millisecondsSince(start, clock_), lookupMs,
                                            paths ? static_cast<long long>(paths->size()) : -1LL, recent.size()));
    return recent;
}

bool FilePathProvider::isIndexTruncated(const std::string& root) {
    std::lock_guard lock(lock_);
    const auto found = cache_.find(root);
    return found != cache_.end() && found->second.wasTruncated;
}

bool FilePathProvider::isRecentFilesLoading(const std::string& root) const {
    return recentTracker_->isRefreshing(root);
}

std::string FilePathProvider::insertionMode() const {
    std::lock_guard lock(lock_);
    return insertionMode_;
}

void FilePathProvider::configure(const std::string& insertionMode,
                                 const std::optional<std::vector<std::string>>& includePaths) {
    {
        std::lock_guard lock(lock_);
        insertionMode_ = insertionMode == "filenameOnly" ? "filenameOnly" : "projectRelative";
        std::vector<std::string> paths = includePaths.value_or(std::vector<std::string>{});
        if (paths == includePaths_) {
            return;
        }
        includePaths_ = std::move(paths);
        ++configGeneration_;
        cache_.clear();
        accessOrder_.clear();
        revalidatingRoots_.clear();
    }
    recentTracker_->clearSnapshots();
}

void FilePathProvider::prewarm(const std::string& root) {
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
        if (const auto found = cache_.find(root); found != cache_.end()) {
            if (!isStale(found->second)) {
                return;
            }
            cached = true;
        }
        generation = configGeneration_;
    }
    if (cached) {
        revalidate(root, generation);
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

void FilePathProvider::recordSelection(const std::string& snippetID, const std::string& root) {
    recentTracker_->recordSelection(snippetID, root);
}

void FilePathProvider::clearAllCaches() {
    {
        std::lock_guard lock(lock_);
        cache_.clear();
        accessOrder_.clear();
    }
    recentTracker_->clearCaches();
    // Listings that were never taken are held only for a build that may never come.
    if (broker_) {
        broker_->clear();
    }
    diagnostic("FilePathProvider: all caches cleared");
}

void FilePathProvider::syncRecentFilesCallbacks() {
    std::function<void(const std::string&)> ready;
    std::function<void(const std::string&, bool)> loading;
    {
        std::lock_guard lock(lock_);
        syncedReady_ = onRecentFilesReady;
        syncedLoading_ = onRecentFilesLoadingChanged;
        ready = syncedReady_;
        loading = syncedLoading_;
    }
    recentTracker_->setCallbacks(std::move(ready), std::move(loading));
}

} // namespace korvane
