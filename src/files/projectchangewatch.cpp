#include "files/projectchangewatch.h"

#include "files/projectstatestamp.h"

#include <cerrno>
#include <fstream>
#include <sys/inotify.h>
#include <unistd.h>

namespace korvane {
namespace {

// What moves a folder's times: its entries made, removed or renamed, and its own attributes set; and
// the folder itself removed or renamed away.
constexpr std::uint32_t folderMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                     IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t fileMask = IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

// An event without a name concerns a watched folder or file itself, or tells of lost events; of the
// named ones, only a change of an entry's attributes leaves its folder's times as they were.
bool matters(const inotify_event& event) {
    return event.len == 0 || event.name[0] == '\0' ||
           (event.mask & ~static_cast<std::uint32_t>(IN_ISDIR)) != IN_ATTRIB;
}

} // namespace

std::size_t ProjectChangeWatch::defaultWatchLimit() {
    static const std::size_t limit = [] {
        std::size_t userLimit = 8192;
        std::ifstream("/proc/sys/fs/inotify/max_user_watches") >> userLimit;
        return userLimit / 16;
    }();
    return limit;
}

std::unique_ptr<ProjectChangeWatch> ProjectChangeWatch::arm(const std::string& root, const PathList& paths,
                                                            std::size_t watchLimit) {
    const ProjectStateStamp::TreeEntries entries = ProjectStateStamp::treeEntries(paths);
    if (1 + entries.folders.size() + entries.ignoreFiles.size() > watchLimit) {
        return nullptr;
    }
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    std::unique_ptr<ProjectChangeWatch> watch(new ProjectChangeWatch(fd));
    if (::inotify_add_watch(fd, root.c_str(), folderMask) < 0) {
        return nullptr;
    }
    std::string path;
    // The stamp reads links themselves, not what they lead to.
    const auto add = [&](std::string_view relative, std::uint32_t mask) {
        path.assign(root).append("/").append(relative);
        if (::inotify_add_watch(fd, path.c_str(), mask | IN_DONT_FOLLOW) >= 0) {
            return true;
        }
        // Whatever is made in its place is an entry of a folder already watched.
        return errno == ENOENT || errno == ENOTDIR;
    };
    for (const std::string_view folder : entries.folders) {
        if (!add(folder, folderMask)) {
            return nullptr;
        }
    }
    for (const std::string_view file : entries.ignoreFiles) {
        if (!add(file, fileMask)) {
            return nullptr;
        }
    }
    return watch;
}

ProjectChangeWatch::ProjectChangeWatch(int fd)
    : fd_(fd) {}

ProjectChangeWatch::~ProjectChangeWatch() {
    drop();
}

void ProjectChangeWatch::drop() {
    if (fd_ >= 0) {
        // Closing the instance drops its watches and the events waiting in it.
        ::close(fd_);
        fd_ = -1;
    }
}

bool ProjectChangeWatch::changed() {
    std::lock_guard lock(lock_);
    if (fd_ < 0) {
        return true;
    }
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = ::read(fd_, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) {
            continue;
        }
        if (length < 0 && errno == EAGAIN) {
            return false;
        }
        if (length <= 0) {
            drop();
            return true;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            if (matters(*event)) {
                drop();
                return true;
            }
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

} // namespace korvane
