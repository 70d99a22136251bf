#include "platform/linux/instancelock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

InstanceLock::Error failure(InstanceLock::Error::Kind kind, const std::filesystem::path& file, int error) {
    return {kind, file.string() + ": " + std::strerror(error)};
}

} // namespace

std::filesystem::path InstanceLock::defaultFile() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
        return std::filesystem::path(runtime) / "korvane.lock";
    }
    return "/tmp/korvane-" + std::to_string(::getuid()) + ".lock";
}

Expected<InstanceLock, InstanceLock::Error> InstanceLock::acquire(const std::filesystem::path& file) {
    // O_NONBLOCK: a FIFO planted in the lock file's place must not hang the start.
    UniqueFd fd(::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600));
    if (!fd.valid()) {
        return makeUnexpected(failure(Error::unavailable, file, errno));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return makeUnexpected(failure(Error::unavailable, file, errno));
    }
    // In a shared folder such as /tmp the name may belong to someone else's file.
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        return makeUnexpected(failure(Error::unavailable, file, EPERM));
    }
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            return makeUnexpected(failure(Error::heldByAnother, file, errno));
        }
        if (errno != EINTR) {
            return makeUnexpected(failure(Error::unavailable, file, errno));
        }
    }
    return InstanceLock(std::move(fd));
}

} // namespace korvane
