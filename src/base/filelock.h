#pragma once

#include "base/expected.h"

#include <chrono>
#include <filesystem>
#include <string>

namespace korvane {

// An exclusive advisory lock (flock) on a lock file, held from `acquire` until the object is
// destroyed. Threads and processes that lock the same path take turns; each holds it only for one
// read-modify-write of the file it guards. Any thread.
class FileLock {
public:
    // How long acquire() waits for a holder by default: holders keep the lock for one read-modify-write,
    // so a lock held longer belongs to a program that hangs, and the caller reports a failure instead.
    static constexpr std::chrono::milliseconds defaultWait{2000};

    // Creates the lock file when it is missing and waits until the lock is ours, at most `wait`. A
    // real-time signal of its own (SIGRTMIN + 5) ends the wait; nothing else in Korvane uses it.
    static Expected<FileLock, std::string> acquire(const std::filesystem::path& path,
                                                   std::chrono::milliseconds wait = defaultWait);

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

private:
    explicit FileLock(int fd)
        : fd_(fd) {}

    int fd_;
};

} // namespace korvane
