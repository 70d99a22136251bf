#include "files/filepathprovider.h"

#include "base/diagnostics.h"
#include "base/unicode.h"
#include "files/rootname.h"

#include <algorithm>
#include <fmt/format.h>
#include <utility>

namespace korvane {
namespace {

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

FilePathProvider::FilePathProvider(const Clock& clock, CommandRunner commandRunner, WorkerPool& workers,
                                   std::shared_ptr<GitLsFilesBroker> broker,
                                   std::shared_ptr<TreeWatchSource> treeWatches)
    : clock_(clock)
    , indexes_(std::make_shared<FilePathIndexCache>(clock, commandRunner, workers, std::move(broker),
                                                    std::move(treeWatches)))
    , recentTracker_(std::make_shared<RecentFilesTracker>(clock, std::move(commandRunner), workers))
    , searchRanker_(clock) {}

std::shared_ptr<FilePathProvider> FilePathProvider::create(const Clock& clock, CommandRunner commandRunner,
                                                           WorkerPool& workers,
                                                           std::shared_ptr<GitLsFilesBroker> broker,
                                                           std::shared_ptr<TreeWatchSource> treeWatches) {
    auto provider = std::make_shared<FilePathProvider>(clock, std::move(commandRunner), workers,
                                                       std::move(broker), std::move(treeWatches));
    provider->recentTracker_->setIndexInfoProvider(
        [weak = std::weak_ptr<FilePathProvider>(provider)](const std::string& root) {
            RecentFilesTracker::IndexInfo info;
            const auto self = weak.lock();
            if (!self) {
                return info;
            }
            if (auto cached = self->indexes_->cached(root)) {
                info.usedGit = cached->usedGit;
                info.hasIndex = true;
                info.recentByMtime = std::move(cached->recentByMtime);
            }
            return info;
        });
    // A file made or committed since shows among the recent files as soon as it is listed.
    provider->indexes_->onListChanged =
        [weak = std::weak_ptr<FilePathProvider>(provider)](const std::string& root) {
            if (const auto self = weak.lock()) {
                self->recentTracker_->refreshNow(root);
            }
        };
    provider->syncRecentFilesCallbacks();
    return provider;
}

FilePathIndex FilePathProvider::index(const std::string& root) {
    return indexes_->index(root);
}

void FilePathProvider::refresh(const std::string& root, std::function<void()> done) {
    indexes_->refresh(root, [weak = weak_from_this(), root, done = std::move(done)] {
        if (const auto self = weak.lock()) {
            // Made from the new index: a folder just made a repository lists its changes from git now.
            self->recentTracker_->refreshNow(root);
        }
        if (done) {
            done();
        }
    });
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
    metrics.indexStale = indexes_->isStale(index);
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
    metrics.indexStale = indexes_->isStale(index);
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
    const std::optional<FilePathIndex> cached = indexes_->cached(root);
    const std::shared_ptr<const PathList> paths = cached ? cached->relativePaths : nullptr;
    const double lookupMs = millisecondsSince(lookupStart, clock_);
    std::vector<std::string> recent = recentList(*snapshot, paths.get(), limit);
    performanceLog(logCategory, fmt::format("[RECENT_PATHS] totalMs={:.3f}ms lookupMs={:.3f}ms indexFiles={} results={}",
                                            millisecondsSince(start, clock_), lookupMs,
                                            paths ? static_cast<long long>(paths->size()) : -1LL, recent.size()));
    return recent;
}

bool FilePathProvider::isIndexTruncated(const std::string& root) {
    return indexes_->isIndexTruncated(root);
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
    }
    if (indexes_->setIncludePaths(includePaths.value_or(std::vector<std::string>{}))) {
        recentTracker_->clearSnapshots();
    }
}

void FilePathProvider::prewarm(const std::string& root) {
    indexes_->prewarm(root);
}

void FilePathProvider::checkForChanges(const std::string& root) {
    indexes_->checkForChanges(root);
}

void FilePathProvider::recordSelection(const std::string& snippetID, const std::string& root) {
    recentTracker_->recordSelection(snippetID, root);
}

void FilePathProvider::clearAllCaches() {
    indexes_->clear();
    recentTracker_->clearCaches();
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
