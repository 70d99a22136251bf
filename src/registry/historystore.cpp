#include "registry/historystore.h"

#include "base/diagnostics.h"
#include "base/fileio.h"
#include "registry/historyreader.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fmt/format.h>
#include <system_error>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;

double secondsSinceEpoch(Clock::WallTime time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

double secondsSinceEpoch(WallSeconds date) {
    return static_cast<double>(date.time_since_epoch().count());
}

} // namespace

std::shared_ptr<HistoryStore> HistoryStore::create(Scheduler& scheduler, const Clock& clock,
                                                   fs::path configDirectory,
                                                   std::shared_ptr<SerialExecutor> saveQueue) {
    return std::shared_ptr<HistoryStore>(
        new HistoryStore(scheduler, clock, std::move(configDirectory), std::move(saveQueue)));
}

HistoryStore::HistoryStore(Scheduler& scheduler, const Clock& clock, fs::path configDirectory,
                           std::shared_ptr<SerialExecutor> saveQueue)
    : scheduler_(scheduler)
    , clock_(clock)
    , configDirectory_(std::move(configDirectory))
    , saveQueue_(std::move(saveQueue))
    , writer_(std::make_shared<HistoryFileWriter>(historyPath(), setAsidePath())) {}

HistoryStore::~HistoryStore() {
    if (isDirty_) {
        flush();
    }
    loadTask_.cancel();
}

fs::path HistoryStore::setAsidePath() const {
    fs::path path = historyPath();
    path += ".bad";
    return path;
}

void HistoryStore::load() {
    if (loadState_ != LoadState::notStarted) {
        return;
    }
    loadState_ = LoadState::loading;
    startRead();
}

void HistoryStore::startRead() {
    loadTask_ = scheduler_.runInBackground(
        TaskPriority::utility, [weak = weak_from_this(), path = historyPath(),
                                scheduler = &scheduler_](const CancellationToken& token) {
            if (token.isCancelled()) {
                return;
            }
            scheduler->post([weak, result = readHistoryFile(path)]() mutable {
                if (const auto self = weak.lock()) {
                    self->finishLoad(std::move(result));
                }
            });
        });
}

HistoryStore::ReadResult HistoryStore::readHistoryFile(const fs::path& path) {
    auto bytes = readRegularFile(path, readLimit);
    if (!bytes) {
        const auto& error = bytes.error();
        if (error.errorNumber == ENOENT || error.errorNumber == ENOTDIR) {
            return Missing{};
        }
        if (error.isTransient()) {
            return TransientFailure{};
        }
        return Unreadable{};
    }
    std::size_t dropped = 0;
    auto decoded = UsageHistory::decode(*bytes, &dropped);
    if (!decoded) {
        return Undecodable{std::move(*bytes)};
    }
    return Decoded{std::move(*decoded), dropped, dropped > 0 ? std::move(*bytes) : std::string()};
}

void HistoryStore::finishLoad(ReadResult result) {
    if (loadState_ != LoadState::loading) {
        return; // flush() has already loaded on the main thread
    }
    if (std::holds_alternative<TransientFailure>(result)) {
        retryLoadLater();
        return;
    }
    applyLoad(std::move(result));
    // A save that came due while the file was being read waited for it.
    if (isDirty_ && !saveTask_) {
        scheduleSave();
    }
}

void HistoryStore::retryLoadLater() {
    ++failedLoads_;
    if (failedLoads_ >= maxLoadAttempts) {
        // Saves stay off: replacing a file that could not be read would lose it.
        loadState_ = LoadState::unread;
        return;
    }
    const double pause = static_cast<double>(1 << (failedLoads_ - 1)); // 1, 2, 4, ... seconds
    loadTask_ = scheduler_.postAfter(pause, [weak = weak_from_this()] {
        if (const auto self = weak.lock(); self && self->loadState_ == LoadState::loading) {
            self->startRead();
        }
    });
}

void HistoryStore::applyLoad(ReadResult result) {
    if (std::holds_alternative<TransientFailure>(result)) {
        return;
    }
    loadState_ = LoadState::finished;
    if (std::holds_alternative<Missing>(result)) {
        return;
    }
    if (std::holds_alternative<Unreadable>(result)) {
        // Whatever is there (too large, not a regular file, not ours to read) is kept, not overwritten.
        writer_->requireSetAside(HistoryFileWriter::MoveAside{});
        return;
    }
    if (auto* undecodable = std::get_if<Undecodable>(&result)) {
        writer_->requireSetAside(HistoryFileWriter::CopyAside{std::move(undecodable->bytes)});
        history_.version = 1;
    } else {
        auto& decoded = std::get<Decoded>(result);
        if (decoded.droppedEntries > 0) {
            keepPartlyReadFile(decoded.droppedEntries, std::move(decoded.bytes));
        }
        // Uses recorded while the file was being read are added to what it held.
        mergeUsage(decoded.history, history_);
        history_ = std::move(decoded.history);
    }
    rebuildScoreCache();
}

void HistoryStore::keepPartlyReadFile(std::size_t droppedEntries, std::string bytes) {
    writer_->requireSetAside(HistoryFileWriter::CopyAside{std::move(bytes)});
    diagnostic(
        fmt::format("Usage history: dropped {} {} with an unreadable date; the file as read is kept as {} "
                    "before it is next saved",
                    droppedEntries, droppedEntries == 1 ? "entry" : "entries", setAsidePath().string()));
}

void HistoryStore::rebuildScoreCache() {
    ++generation_;
    scoreCache_.clear();
    scoreCache_.reserve(history_.entries.size());
    const auto now = clock_.now();
    for (const auto& [id, entry] : history_.entries) {
        scoreCache_.emplace(id, score(entry, now));
    }
}

void HistoryStore::recordUsage(const std::string& id) {
    // The file keeps whole seconds; so does memory, so that a saved and reloaded history is the same.
    const auto now = wholeSeconds(clock_.now());
    const auto [found, inserted] = history_.entries.try_emplace(id, UsageEntry{1, now});
    UsageEntry& entry = found->second;
    if (!inserted) {
        entry.count = incrementedCount(entry.count);
        entry.lastUsed = now;
    }
    isDirty_ = true;
    scoreCache_[id] = score(entry, clock_.now());
    ++generation_;
    if (loadState_ == LoadState::unread) {
        // The file could not be read so far; the use is a reason to try again.
        loadState_ = LoadState::loading;
        failedLoads_ = 0;
        startRead();
    }
    scheduleSave();
}

void HistoryStore::scheduleSave() {
    if (saveTask_) {
        saveTask_->cancel();
    }
    saveTask_ = scheduler_.postAfter(saveDelay, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->saveTask_.reset();
            self->save(true);
        }
    });
}

void HistoryStore::flush() {
    if (loadState_ == LoadState::loading || loadState_ == LoadState::unread) {
        // Quitting before the background read came back: read now, or the save would replace the file
        // with only this session's uses. If it still cannot be read, nothing is written.
        applyLoad(readHistoryFile(historyPath()));
    }
    if (saveTask_) {
        saveTask_->cancel();
        saveTask_.reset();
    }
    save(false);
}

// The history is copied as it stands: the main thread goes on recording while the copy is written.
void HistoryStore::save(bool onQueue) {
    if (!isDirty_ || loadState_ == LoadState::loading || loadState_ == LoadState::unread) {
        return;
    }
    trimToLimits();
    isDirty_ = false;
    const std::uint64_t number = ++saveNumber_;
    if (!onQueue || !saveQueue_) {
        isDirty_ = !writer_->write(number, history_);
        return;
    }
    saveQueue_->enqueue(
        [writer = writer_, number, history = history_, weak = weak_from_this(), scheduler = &scheduler_] {
            if (writer->write(number, history)) {
                return;
            }
            scheduler->post([weak] {
                if (const auto self = weak.lock()) {
                    self->isDirty_ = true;
                }
            });
        });
}

void HistoryStore::trimToLimits() {
    std::size_t bytes = kEncodedHistoryOverhead;
    for (const auto& [id, entry] : history_.entries) {
        bytes += encodedEntrySizeBound(id);
    }
    if (history_.entries.size() <= maxEntries && bytes <= maxFileBytes) {
        return;
    }
    struct Ranked {
        double score;
        WallSeconds lastUsed;
        const std::string* id;
    };
    std::vector<Ranked> ranked;
    ranked.reserve(history_.entries.size());
    const auto now = clock_.now();
    for (const auto& [id, entry] : history_.entries) {
        ranked.push_back({score(entry, now), entry.lastUsed, &id});
    }
    std::sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        if (a.score != b.score) {
            return a.score > b.score;
        }
        if (a.lastUsed != b.lastUsed) {
            return a.lastUsed > b.lastUsed;
        }
        return *a.id < *b.id;
    });
    std::vector<std::string> dropped;
    std::size_t kept = 0;
    std::size_t keptBytes = kEncodedHistoryOverhead;
    for (const Ranked& entry : ranked) {
        const std::size_t size = encodedEntrySizeBound(*entry.id);
        // An entry too large for what is left is dropped, and smaller ones after it may still fit.
        if (kept < maxEntries && keptBytes + size <= maxFileBytes) {
            ++kept;
            keptBytes += size;
        } else {
            dropped.push_back(*entry.id);
        }
    }
    for (const auto& id : dropped) {
        history_.entries.erase(id);
        scoreCache_.erase(id);
    }
    ++generation_;
}

double HistoryStore::frecencyScore(const std::string& id) const {
    const auto found = scoreCache_.find(id);
    return found == scoreCache_.end() ? 0.0 : found->second;
}

std::optional<Clock::WallTime> HistoryStore::lastUsedDate(const std::string& id) const {
    // The score cache holds every id of the history. Most ids asked for were never used, and one
    // hash lookup tells so, where the ordered entries would compare the id at every level.
    if (!scoreCache_.contains(id)) {
        return std::nullopt;
    }
    const auto found = history_.entries.find(id);
    if (found == history_.entries.end()) {
        return std::nullopt;
    }
    // Outside a WallTime's years a date is as good as the nearest one it can hold; the entry keeps
    // the date as written.
    return clampedWallTime(found->second.lastUsed);
}

double HistoryStore::score(const UsageEntry& entry, Clock::WallTime now) {
    // In floating point: a date of year 1 and one of year 9999 are both valid in the file.
    const double ageDays = (secondsSinceEpoch(now) - secondsSinceEpoch(entry.lastUsed)) / 86400.0;
    return finiteScore(static_cast<double>(entry.count) * std::exp(-ageDays / halfLifeDays));
}

} // namespace korvane
