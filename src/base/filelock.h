#pragma once

#include "base/expected.h"

#include <filesystem>
#include <string>

namespace korvane {

// An exclusive advisory lock (flock) on a lock file, held from `acquire` until the object is
// destroyed. Threads and processes that lock the same path take turns; each holds it only for one
// read-modify-write of the file it guards. Any thread.
class FileLock {
public:
    // Creates the lock file when it is missing and waits until the lock is ours.
    static Expected<FileLock, std::string> acquire(const std::filesystem::path& path);

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
