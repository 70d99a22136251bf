#pragma once

#include "base/cancellationtoken.h"
#include "base/lrumap.h"
#include "gitguard/gitfolderstamp.h"
#include "platform/processrunner.h"

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

    // The value kept for a reading as `request` (GitFolderStamp::readingKey) while its stamp holds; else
    // the one `reader` gives, run on this thread, unless another caller's reading of the same is under
    // way: then that one's, where it may be kept. None when the request's time runs out or its
    // cancellation comes while waiting for another's reading.
    std::optional<T> read(const ProcessRequest& request, const std::function<Read()>& reader) {
        const std::string key = GitFolderStamp::readingKey(request);
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(std::max(0.0, request.timeout)));
        std::unique_lock lock(lock_);
        while (true) {
            if (auto kept = keptValue(key, lock)) {
                return kept;
            }
            const auto under = readings_.find(key);
            if (under == readings_.end()) {
                break;
            }
            const std::shared_ptr<Reading> reading = under->second;
            if (!waitFor(*reading, lock, deadline, request.cancellation)) {
                return std::nullopt;
            }
            if (reading->kept) {
                return reading->kept;
            }
        }
        const auto reading = std::make_shared<Reading>();
        readings_.emplace(key, reading);
        lock.unlock();
        return readAndKeep(key, *reading, reader);
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

    // The value kept under `key` while its stamp holds; the stamp is looked at without the lock, shared
    // rather than copied (it may name thousands of paths, and every command asks).
    std::optional<T> keptValue(const std::string& key, std::unique_lock<std::mutex>& lock) {
        while (const std::shared_ptr<const Kept>* found = kept_.find(key)) {
            const std::shared_ptr<const Kept> kept = *found;
            lock.unlock();
            const bool holds = kept->stamp.holds();
            lock.lock();
            if (holds) {
                return kept->value;
            }
            // Another caller may have kept a fresh one meanwhile.
            if (const auto* now = kept_.find(key); now != nullptr && *now == kept) {
                kept_.erase(key);
            }
        }
        return std::nullopt;
    }

    // Waits, under `lock`, until `reading` ends; false when the deadline or the cancellation comes first.
    bool waitFor(const Reading& reading, std::unique_lock<std::mutex>& lock,
                 std::chrono::steady_clock::time_point deadline,
                 const std::optional<CancellationToken>& cancellation) {
        // Woken when the reading ends; the slices only let a cancellation be seen meanwhile.
        while (!reading.ended) {
            if ((cancellation && cancellation->isCancelled()) ||
                std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            ended_.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + waitSlice));
        }
        return true;
    }

    T readAndKeep(const std::string& key, Reading& reading, const std::function<Read()>& reader) {
        std::optional<Read> read;
        try {
            read = reader();
        } catch (...) {
            // Ended all the same, so that nobody waits for it.
            end(key, reading, nullptr);
            throw;
        }
        end(key, reading, &*read);
        return std::move(read->value);
    }

    // Ends `reading`, keeping what it read where it may be kept.
    void end(const std::string& key, Reading& reading, Read* read) {
        {
            std::lock_guard guard(lock_);
            if (read != nullptr && read->stamp) {
                kept_.insert(key, std::make_shared<const Kept>(Kept{read->value, std::move(*read->stamp)}));
                reading.kept = read->value;
            }
            reading.ended = true;
            readings_.erase(key);
        }
        ended_.notify_all();
    }

    std::mutex lock_;
    std::condition_variable ended_;
    LruMap<std::string, std::shared_ptr<const Kept>> kept_;
    std::map<std::string, std::shared_ptr<Reading>> readings_;
};

} // namespace korvane
