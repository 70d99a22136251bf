#pragma once

#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace korvane::test {

// A unix socket bound at `path`, listening unless told not to; its descriptor, or -1. A socket that
// is closed again leaves its file behind, with no one listening.
inline int boundSocket(const std::string& path, bool listening = true) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        (listening && ::listen(fd, 4) != 0)) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    return fd;
}

} // namespace korvane::test
