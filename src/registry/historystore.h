#pragma once

#include "base/cancellationtoken.h"
#include "base/clock.h"
#include "base/scheduler.h"
#include "base/serialexecutor.h"
#include "registry/historyfilewriter.h"
#include "registry/usagehistory.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>

namespace korvane {

// Owns the usage history: records each accepted snippet id, keeps a frecency score per id for the
// registry and the browser sections, and keeps history.json in the configuration directory up to
// date with a debounced save. Main thread; the file read and decoding of load() run in the background,
// and so do the encoding and writing of each save when the store has a save queue.
// Hold by std::shared_ptr.
class HistoryStore : public std::enable_shared_from_this<HistoryStore> {
public:
    // The decay time of a score in days: after this long the score has fallen to 1/e of the count.
    static constexpr double halfLifeDays = 7.0;
    // The quiet period after the last recorded use before the file is written.
    static constexpr double saveDelay = 0.5;
    static constexpr const char* fileName = "history.json";
    // What history.json keeps: the entries with the highest scores, at most this many and within
    // this many bytes of text.
    static constexpr std::size_t maxEntries = 10000;
    static constexpr std::size_t maxFileBytes = 8u << 20;
    // The largest file load() reads: well above what the store writes, so that it always reads its
    // own file back, and a file grown by an older version is read and trimmed rather than lost.
    static constexpr std::size_t readLimit = 64u << 20;
    static_assert(readLimit > maxFileBytes);
    // Reads that fail for a passing reason (no descriptor left, say) are tried this often in all,
    // with growing pauses, before the store waits for the next recorded use to try again.
    static constexpr int maxLoadAttempts = 6;

    // The store reads and writes `configDirectory`/history.json; it never creates the directory.
    // Saves are encoded and written on `saveQueue`, one after the other; without one, on the main
    // thread.
    static std::shared_ptr<HistoryStore> create(Scheduler& scheduler, const Clock& clock,
                                                std::filesystem::path configDirectory,
                                                std::shared_ptr<SerialExecutor> saveQueue = nullptr);
    // Writes a pending save before going away.
    ~HistoryStore();

    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Reads and decodes history.json on a background job and applies it on the main thread; nothing
    // waits for it. Uses recorded in the meantime are added to the loaded history, and no save runs before
    // the load has finished. A read that fails for a passing reason is tried again later; until one
    // succeeds the file is never replaced. Only the first call loads.
    void load();

    // Records one use of `id` now and schedules a save.
    void recordUsage(const std::string& id);

    // Writes a pending change at once on this thread, finishing an unfinished load first; a save
    // still queued is then dropped. The application calls it when it quits.
    void flush();

    // The cached frecency score of `id`; 0 when it has none. Always a finite number.
    double frecencyScore(const std::string& id) const;
    // When `id` was last used; absent when it never was.
    std::optional<Clock::WallTime> lastUsedDate(const std::string& id) const;

    // count × e^(−age in days / halfLifeDays) at `now`. An entry dated in the future scores above its
    // count. A result that is not finite is replaced: NaN by 0, infinities by the largest finite value
    // of the same sign, so that sorting by score stays well defined.
    static double score(const UsageEntry& entry, Clock::WallTime now);

    const UsageHistory& history() const { return history_; }
    const std::unordered_map<std::string, double>& scoreCache() const { return scoreCache_; }
    // Rises with every change of the score cache.
    std::uint64_t generation() const { return generation_; }
    bool isDirty() const { return isDirty_; }
    bool isLoading() const { return loadState_ == LoadState::loading; }
    std::filesystem::path historyPath() const { return configDirectory_ / fileName; }
    // Where a history.json that could not be read or decoded is kept before it is first replaced.
    std::filesystem::path setAsidePath() const;

private:
    // `unread`: every attempt to read the file failed for a passing reason; the next use tries again.
    enum class LoadState { notStarted, loading, finished, unread };

    // What the background read found.
    struct Missing {};
    struct Unreadable {};
    struct TransientFailure {};
    struct Undecodable {
        std::string bytes;
    };
    struct Decoded {
        UsageHistory history;
        // Entries left out for a date that could not be read; the file is then kept in `bytes`.
        std::size_t droppedEntries = 0;
        std::string bytes;
    };
    using ReadResult = std::variant<Missing, Unreadable, TransientFailure, Undecodable, Decoded>;

    HistoryStore(Scheduler& scheduler, const Clock& clock, std::filesystem::path configDirectory,
                 std::shared_ptr<SerialExecutor> saveQueue);

    static ReadResult readHistoryFile(const std::filesystem::path& path);
    void startRead();
    void finishLoad(ReadResult result);
    void retryLoadLater();
    void applyLoad(ReadResult result);
    // Keeps the file as read aside before the first save that would leave out entries it held.
    void keepPartlyReadFile(std::size_t droppedEntries, std::string bytes);
    void rebuildScoreCache();
    void scheduleSave();
    // `onQueue` false writes on this thread (the quit's flush).
    void save(bool onQueue);
    void trimToLimits();

    UsageHistory history_;
    std::unordered_map<std::string, double> scoreCache_;
    std::uint64_t generation_ = 0;
    bool isDirty_ = false;
    std::optional<CancellationToken> saveTask_;

    Scheduler& scheduler_;
    const Clock& clock_;
    std::filesystem::path configDirectory_;
    LoadState loadState_ = LoadState::notStarted;
    int failedLoads_ = 0;
    CancellationToken loadTask_;
    std::shared_ptr<SerialExecutor> saveQueue_;
    std::shared_ptr<HistoryFileWriter> writer_;
    std::uint64_t saveNumber_ = 0;
};

} // namespace korvane
