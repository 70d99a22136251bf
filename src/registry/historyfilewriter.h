#pragma once

#include "registry/usagehistory.h"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <variant>

namespace korvane {

// Writes history.json: encodes a copy of the history and replaces the file atomically, after first
// keeping aside a file that could not be read or decoded. Saves are numbered: one older than the
// newest written is dropped, so a save queued behind the quit's flush cannot write older uses back.
// Any thread; one write at a time.
class HistoryFileWriter {
public:
    // What must happen to the file on disk before it is first overwritten.
    struct CopyAside {
        std::string bytes;
    };
    struct MoveAside {};
    using SetAside = std::variant<std::monostate, CopyAside, MoveAside>;

    HistoryFileWriter(std::filesystem::path historyPath, std::filesystem::path setAsidePath);

    // The file found at load is to be kept aside before the first write.
    void requireSetAside(SetAside setAside);
    // False when nothing was written (the history could not be encoded, the old file could not be
    // kept aside, or the write failed, which is logged): the change is still to be saved, by the next
    // save or the flush at quit.
    bool write(std::uint64_t saveNumber, const UsageHistory& history);

private:
    bool setAsideOldFile();
    // Logs a failed write once for each kind of failure (a read-only folder, a full disk, ...), so
    // that a history that cannot be kept is said, without a line for every use.
    void reportWriteFailure(const std::string& message);

    const std::filesystem::path historyPath_;
    const std::filesystem::path setAsidePath_;
    std::mutex mutex_;
    SetAside setAside_;
    std::uint64_t writtenSave_ = 0;
    std::set<std::string> reportedWriteFailures_;
};

} // namespace korvane
