#include "files/recentfilestracker.h"

#include "files/gitpathquoting.h"

#include <algorithm>
#include <malloc.h>
#include <sys/stat.h>
#include <unordered_set>
#include <utility>

namespace korvane {
namespace {

bool isStale(const RecentFilesSnapshot& snapshot, Clock::WallTime now) {
    return secondsBetween(snapshot.timestamp, now) > RecentFilesTracker::freshness;
}

} // namespace

RecentFilesTracker::RecentFilesTracker(const Clock& clock, CommandRunner commandRunner, WorkerPool& workers)
    : clock_(clock)
    , commandRunner_(std::move(commandRunner))
    , workers_(workers) {}

std::vector<std::string> RecentFilesTracker::parseStatus(const std::vector<std::string>& lines,
                                                         const std::string& prefix) {
    std::vector<std::string> paths;
    for (const auto& line : lines) {
        if (line.size() < 4) {
            continue;
        }
        const std::string_view status = std::string_view(line).substr(0, 2);
        std::string_view printed = std::string_view(line).substr(3);
        if (status.find('D') != std::string_view::npos) {
            continue;
        }
        // A rename or copy names the old path first; a quoted old path may itself hold the arrow.
        if (status.find('R') != std::string_view::npos || status.find('C') != std::string_view::npos) {
            const std::size_t skip = quotedTokenLength(printed);
            const std::size_t arrow = printed.find(" -> ", skip);
            if (arrow != std::string_view::npos) {
                printed = printed.substr(arrow + 4);
            }
        }
        auto path = decodeGitPath(printed);
        if (!path || !path->starts_with(prefix) || path->size() == prefix.size()) {
            continue;
        }
        paths.push_back(path->substr(prefix.size()));
    }
    return paths;
}

std::vector<std::string> RecentFilesTracker::uncommittedPaths(const std::string& root) const {
    const auto lines = commandRunner_({"status", "--porcelain", "--untracked-files=all"}, root, gitTimeout);
    if (!lines || lines->empty()) {
        return {};
    }
    // status names paths from the top of the repository, whatever folder it runs in.
    std::string prefix;
    if (const auto shown = commandRunner_({"rev-parse", "--show-prefix"}, root, gitTimeout)) {
        // rev-parse prints the prefix as it is, never quoted, even when it begins with a quote.
        if (!shown->empty()) {
            prefix = shown->front();
        }
    } else {
        return {};
    }
    std::vector<std::string> paths = parseStatus(*lines, prefix);
    if (paths.size() > uncommittedLimit) {
        paths.resize(uncommittedLimit);
        paths.shrink_to_fit();
    }
    return paths;
}

std::vector<std::string> RecentFilesTracker::committedPaths(const std::string& root) const {
    const auto lines =
        commandRunner_({"log", "--relative", "--name-only", "--pretty=format:", "--diff-filter=ACMR",
                        "--no-merges", "--since=7.days.ago"},
                       root, gitTimeout);
    std::vector<std::string> paths;
    if (!lines) {
        return paths;
    }
    std::unordered_set<std::string> taken;
    for (const auto& line : *lines) {
        if (paths.size() >= committedLimit) {
            break;
        }
        auto path = decodeGitPath(line);
        if (path && taken.insert(*path).second) {
            paths.push_back(std::move(*path));
        }
    }
    return paths;
}

std::vector<std::string> RecentFilesTracker::selectionsLocked(const std::string& root,
                                                              Clock::WallTime now) const {
    const std::string prefix = root + "|";
    std::vector<std::pair<Clock::WallTime, std::string>> kept;
    for (auto it = recentSelections_.lower_bound(prefix); it != recentSelections_.end(); ++it) {
        if (!it->first.starts_with(prefix)) {
            break;
        }
        if (secondsBetween(it->second, now) >= selectionWindow) {
            continue;
        }
        std::string id = it->first.substr(prefix.size());
        if (id.starts_with("file:")) {
            id.erase(0, 5);
        }
        kept.emplace_back(it->second, std::move(id));
    }
    std::stable_sort(kept.begin(), kept.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> paths;
    for (auto& entry : kept) {
        paths.push_back(std::move(entry.second));
    }
    return paths;
}

std::vector<std::string> RecentFilesTracker::sessionSelections(const std::string& root) const {
    const auto now = clock_.now();
    std::lock_guard lock(lock_);
    return selectionsLocked(root, now);
}

RecentFilesSnapshot RecentFilesTracker::build(const std::string& root, const IndexInfo& info) const {
    RecentFilesSnapshot snapshot;
    if (info.usedGit.value_or(true)) {
        snapshot.gitUncommitted = uncommittedPaths(root);
        snapshot.sessionSelected = sessionSelections(root);
        snapshot.gitRecentlyCommitted = committedPaths(root);
    } else {
        snapshot.sessionSelected = sessionSelections(root);
        const auto cutoff = std::chrono::system_clock::now() - std::chrono::seconds(604800);
        std::vector<std::pair<std::chrono::system_clock::time_point, std::string>> modified;
        for (const auto& path : info.recentByMtime) {
            struct stat status {};
            if (::stat((root + "/" + path).c_str(), &status) != 0) {
                continue;
            }
            const auto time = std::chrono::system_clock::time_point(
                std::chrono::duration_cast<std::chrono::system_clock::duration>(
                    std::chrono::seconds(status.st_mtim.tv_sec) +
                    std::chrono::nanoseconds(status.st_mtim.tv_nsec)));
            if (time > cutoff) {
                modified.emplace_back(time, path);
            }
        }
        std::stable_sort(modified.begin(), modified.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        for (auto& entry : modified) {
            snapshot.mtimeRecent.push_back(std::move(entry.second));
        }
    }
    snapshot.timestamp = info.hasIndex ? clock_.now() : Clock::WallTime{};
    return snapshot;
}

RecentFilesTracker::IndexInfo RecentFilesTracker::indexInfo(const std::string& root) const {
    IndexInfoProvider provider;
    {
        std::lock_guard lock(lock_);
        provider = indexInfoProvider_;
    }
    return provider ? provider(root) : IndexInfo{};
}

RecentFilesSnapshot RecentFilesTracker::snapshot(const std::string& root) {
    return *sharedSnapshot(root);
}

std::shared_ptr<const RecentFilesSnapshot> RecentFilesTracker::sharedSnapshot(const std::string& root) {
    std::unique_lock lock(lock_);
    while (true) {
        if (const auto found = recentFilesCache_.find(root); found != recentFilesCache_.end()) {
            Cached cached = found->second;
            lock.unlock();
            return serve(root, std::move(cached));
        }
        if (!flights_.contains(root)) {
            break;
        }
        if (beginQueuedLocked(root)) {
            lock.unlock();
            auto [built, tell] = fly(root);
            if (tell) {
                tellReady(root);
            }
            return built;
        }
        // The build under way stores the snapshot this one would make.
        flightEnded_.wait(lock, [&] { return !flights_.contains(root); });
    }
    flights_.emplace(root, Flight{});
    lock.unlock();
    auto [built, tell] = fly(root);
    if (tell) {
        tellReady(root);
    }
    return built;
}

std::shared_ptr<const RecentFilesSnapshot> RecentFilesTracker::cachedSnapshot(const std::string& root) {
    {
        std::unique_lock lock(lock_);
        if (const auto found = recentFilesCache_.find(root); found != recentFilesCache_.end()) {
            Cached cached = found->second;
            lock.unlock();
            return serve(root, std::move(cached));
        }
    }
    startRefresh(root);
    auto empty = std::make_shared<RecentFilesSnapshot>();
    empty->timestamp = clock_.now();
    return empty;
}

void RecentFilesTracker::refreshIfStale(const std::string& root) {
    std::optional<Cached> cached;
    {
        std::lock_guard lock(lock_);
        if (const auto found = recentFilesCache_.find(root); found != recentFilesCache_.end()) {
            cached = found->second;
        }
    }
    if (cached) {
        serve(root, std::move(*cached));
    } else {
        startRefresh(root);
    }
}

std::shared_ptr<const RecentFilesSnapshot> RecentFilesTracker::serve(const std::string& root, Cached cached) {
    if (cached.builtBeforeIndex) {
        const IndexInfo info = indexInfo(root);
        // Built again only once the index tells how: until then a build would list the same.
        if (!info.hasIndex) {
            return cached.snapshot;
        }
        if (!info.usedGit.value_or(true)) {
            startRefresh(root);
            return cached.snapshot;
        }
        // Without an index git listed the snapshot, as it would with this one: it stands as built then.
        auto adopted = std::make_shared<RecentFilesSnapshot>(*cached.snapshot);
        adopted->timestamp = *cached.builtBeforeIndex;
        std::lock_guard lock(lock_);
        if (const auto found = recentFilesCache_.find(root);
            found != recentFilesCache_.end() && found->second.snapshot == cached.snapshot) {
            found->second = Cached{adopted, std::nullopt};
        }
        cached = Cached{std::move(adopted), std::nullopt};
    }
    if (isStale(*cached.snapshot, clock_.now())) {
        startRefresh(root);
    }
    return cached.snapshot;
}

void RecentFilesTracker::startRefresh(const std::string& root) {
    LoadingCallback loading;
    std::uint64_t ticket = 0;
    {
        std::lock_guard lock(lock_);
        ticket = ++jobsQueued_;
        if (!flights_.emplace(root, Flight{.background = true, .tell = true, .queued = ticket}).second) {
            return;
        }
        loading = onRecentFilesLoadingChanged_;
    }
    if (loading) {
        loading(root, true);
    }
    auto job = [weak = weak_from_this(), root, ticket] {
        const auto self = weak.lock();
        if (!self) {
            return;
        }
        bool mine = false;
        {
            std::lock_guard lock(self->lock_);
            mine = self->beginQueuedLocked(root, ticket);
        }
        if (mine) {
            self->fly(root);
        }
        LoadingCallback loadingChanged;
        {
            std::lock_guard lock(self->lock_);
            loadingChanged = self->onRecentFilesLoadingChanged_;
        }
        // git's output for a large project is gone again; hand its memory back.
        ::malloc_trim(0);
        if (loadingChanged) {
            loadingChanged(root, false);
        }
        // Built by a caller that could not wait for this job otherwise, who told of it.
        if (mine) {
            self->tellReady(root);
        }
    };
    workers_.run(std::move(job));
}

std::pair<std::shared_ptr<const RecentFilesSnapshot>, bool> RecentFilesTracker::fly(const std::string& root) {
    std::shared_ptr<const RecentFilesSnapshot> built;
    bool tell = false;
    while (true) {
        const std::uint64_t number = beginBuild();
        IndexInfo info;
        try {
            info = indexInfo(root);
            built = std::make_shared<const RecentFilesSnapshot>(build(root, info));
        } catch (...) {
            // The flight ends all the same, so that nobody waits for it and the root is built again.
            {
                std::lock_guard lock(lock_);
                flights_.erase(root);
            }
            flightEnded_.notify_all();
            throw;
        }
        std::lock_guard lock(lock_);
        storeLocked(root, number, Cached{built, info.hasIndex ? std::nullopt : std::optional(clock_.now())});
        Flight& flight = flights_.at(root);
        if (!flight.again) {
            tell = flight.tell;
            flights_.erase(root);
            break;
        }
        flight.again = false;
    }
    flightEnded_.notify_all();
    return {std::move(built), tell};
}

void RecentFilesTracker::refreshNow(const std::string& root) {
    {
        std::unique_lock lock(lock_);
        if (const auto found = flights_.find(root); found != flights_.end() && !beginQueuedLocked(root)) {
            found->second.again = true;
            found->second.tell = true;
            flightEnded_.wait(lock, [&] { return !flights_.contains(root); });
            return;
        }
        flights_.try_emplace(root);
        flights_.at(root).tell = true;
    }
    fly(root);
    tellReady(root);
}

bool RecentFilesTracker::beginQueuedLocked(const std::string& root, std::uint64_t ticket) {
    const auto found = flights_.find(root);
    if (found == flights_.end() || found->second.queued == 0 ||
        (ticket != 0 && found->second.queued != ticket)) {
        return false;
    }
    found->second.queued = 0;
    return true;
}

void RecentFilesTracker::tellReady(const std::string& root) const {
    ReadyCallback ready;
    {
        std::lock_guard lock(lock_);
        ready = onRecentFilesReady_;
    }
    if (ready) {
        ready(root);
    }
}

std::uint64_t RecentFilesTracker::beginBuild() {
    std::lock_guard lock(lock_);
    return ++buildsBegun_;
}

void RecentFilesTracker::storeLocked(const std::string& root, std::uint64_t build, Cached cached) {
    std::uint64_t& stored = storedBuilds_[root];
    if (build < stored) {
        return;
    }
    stored = build;
    recentFilesCache_[root] = std::move(cached);
}

void RecentFilesTracker::recordSelection(const std::string& snippetID, const std::string& root) {
    std::lock_guard lock(lock_);
    const auto now = clock_.now();
    recentSelections_[root + "|" + snippetID] = now;
    if (recentSelections_.size() > selectionLimit) {
        std::erase_if(recentSelections_, [&](const auto& entry) {
            return secondsBetween(entry.second, now) >= selectionWindow;
        });
    }
    if (recentSelections_.size() > selectionLimit) {
        std::vector<std::pair<Clock::WallTime, std::string>> byAge;
        for (const auto& [key, time] : recentSelections_) {
            byAge.emplace_back(time, key);
        }
        std::stable_sort(byAge.begin(), byAge.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (std::size_t i = 0; i < byAge.size() - selectionLimit; ++i) {
            recentSelections_.erase(byAge[i].second);
        }
    }
    if (const auto found = recentFilesCache_.find(root); found != recentFilesCache_.end()) {
        // Snapshots handed out stay as they were; the cache takes a changed copy.
        auto changed = std::make_shared<RecentFilesSnapshot>(*found->second.snapshot);
        changed->sessionSelected = selectionsLocked(root, clock_.now());
        found->second.snapshot = std::move(changed);
    }
}

void RecentFilesTracker::clearCaches() {
    std::lock_guard lock(lock_);
    recentFilesCache_.clear();
    storedBuilds_.clear();
    recentSelections_.clear();
}

void RecentFilesTracker::clearSnapshots() {
    std::lock_guard lock(lock_);
    recentFilesCache_.clear();
    storedBuilds_.clear();
}

bool RecentFilesTracker::isRefreshing(const std::string& root) const {
    std::lock_guard lock(lock_);
    const auto found = flights_.find(root);
    return found != flights_.end() && found->second.background;
}

void RecentFilesTracker::setIndexInfoProvider(IndexInfoProvider provider) {
    std::lock_guard lock(lock_);
    indexInfoProvider_ = std::move(provider);
}

void RecentFilesTracker::setCallbacks(ReadyCallback onReady, LoadingCallback onLoadingChanged) {
    std::lock_guard lock(lock_);
    onRecentFilesReady_ = std::move(onReady);
    onRecentFilesLoadingChanged_ = std::move(onLoadingChanged);
}

} // namespace korvane
