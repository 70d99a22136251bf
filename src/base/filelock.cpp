#include "base/filelock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace korvane {

Expected<FileLock, std::string> FileLock::acquire(const std::filesystem::path& path) {
    // Read-only is enough for flock, so a lock file that lost its write bits still serves.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return makeUnexpected(fmt::format("Could not lock {}: {}", path.string(), std::strerror(errno)));
    }
    FileLock lock(fd);
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            return makeUnexpected(fmt::format("Could not lock {}: {}", path.string(), std::strerror(errno)));
        }
    }
    return lock;
}

FileLock::FileLock(FileLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

FileLock::~FileLock() {
    // Closing the descriptor releases the lock.
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

} // namespace korvane
