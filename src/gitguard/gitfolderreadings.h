#pragma once

#include "base/cancellationtoken.h"
#include "base/lrumap.h"
#include "gitguard/gitfolderstamp.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace korvane {

// Readings of what git says in a folder, each kept with a stamp of what it read (GitFolderStamp) for as
// long as that stamp holds, and shared by callers that ask for the same one at the same moment. Any
// thread; a caller waits for another's reading until its own deadline, and the lock is never held while
// git runs or a stamp is checked.
template <typename T> class GitFolderReadings {
public:
    // What one reading gave, and the stamp it may be kept with: none where it may not be kept.
    struct Read {
        T value;
        std::optional<GitFolderStamp> stamp;
    };

    explicit GitFolderReadings(std::size_t capacity)
        : kept_(capacity) {}

    // The value kept under `key` while its stamp holds; else the one `reader` gives, run on this thread,
    // unless another caller's reading under `key` is under way: then that one's, where it may be kept.
    // None when `deadline` passes or `cancellation` comes while waiting for another's reading.
    std::optional<T> read(const std::string& key, std::chrono::steady_clock::time_point deadline,
                          const std::optional<CancellationToken>& cancellation,
                          const std::function<Read()>& reader) {
        std::unique_lock lock(lock_);
        while (true) {
            if (const Kept* found = kept_.find(key)) {
                const Kept kept = *found;
                lock.unlock();
                if (kept.stamp.holds()) {
                    return kept.value;
                }
                lock.lock();
                kept_.erase(key);
                continue;
            }
            const auto under = readings_.find(key);
            if (under == readings_.end()) {
                break;
            }
            const std::shared_ptr<Reading> reading = under->second;
            // Woken when the reading ends; the slices only let a cancellation be seen meanwhile.
            while (!reading->ended) {
                if ((cancellation && cancellation->isCancelled()) ||
                    std::chrono::steady_clock::now() >= deadline) {
                    return std::nullopt;
                }
                ended_.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + waitSlice));
            }
            if (reading->kept) {
                return reading->kept;
            }
        }
        const auto reading = std::make_shared<Reading>();
        readings_.emplace(key, reading);
        lock.unlock();
        Read read = reader();
        {
            std::lock_guard guard(lock_);
            if (read.stamp) {
                kept_.insert(key, Kept{read.value, std::move(*read.stamp)});
                reading->kept = read.value;
            }
            reading->ended = true;
            readings_.erase(key);
        }
        ended_.notify_all();
        return std::move(read.value);
    }

private:
    static constexpr std::chrono::milliseconds waitSlice{20};

    struct Kept {
        T value;
        GitFolderStamp stamp;
    };
    // One reading under way, which others asking the same wait for.
    struct Reading {
        bool ended = false;
        std::optional<T> kept;
    };

    std::mutex lock_;
    std::condition_variable ended_;
    LruMap<std::string, Kept> kept_;
    std::map<std::string, std::shared_ptr<Reading>> readings_;
};

} // namespace korvane
