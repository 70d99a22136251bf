#include "platform/linux/inotifytreewatchsource.h"

#include "platform/linux/uniquefd.h"

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <sys/inotify.h>
#include <unistd.h>
#include <utility>

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

// One tree's inotify instance; the first event that matters closes it. Any thread.
class InotifyTreeWatchSource::Watch final : public TreeWatch {
public:
    explicit Watch(UniqueFd fd)
        : fd_(std::move(fd)) {}

    bool changed() override {
        std::lock_guard lock(lock_);
        if (!fd_.valid()) {
            return true;
        }
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t length = ::read(fd_.get(), buffer, sizeof buffer);
            if (length < 0 && errno == EINTR) {
                continue;
            }
            if (length < 0 && errno == EAGAIN) {
                return false;
            }
            if (length <= 0) {
                fd_.reset();
                return true;
            }
            for (ssize_t offset = 0; offset < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                if (matters(*event)) {
                    // Closing the instance drops its watches and the events waiting in it.
                    fd_.reset();
                    return true;
                }
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    std::mutex lock_;
    UniqueFd fd_;
};

InotifyTreeWatchSource::InotifyTreeWatchSource() {
    std::ifstream("/proc/sys/fs/inotify/max_user_watches") >> userWatchLimit_;
}

std::unique_ptr<TreeWatch> InotifyTreeWatchSource::arm(const std::string& root,
                                                       std::span<const std::string_view> folders,
                                                       std::span<const std::string_view> files) {
    UniqueFd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!fd.valid() || ::inotify_add_watch(fd.get(), root.c_str(), folderMask) < 0) {
        return nullptr;
    }
    std::string path;
    const auto add = [&](std::string_view relative, std::uint32_t mask) {
        path.assign(root).append("/").append(relative);
        return ::inotify_add_watch(fd.get(), path.c_str(), mask | IN_DONT_FOLLOW) >= 0 || errno == ENOENT ||
               errno == ENOTDIR;
    };
    for (const std::string_view folder : folders) {
        if (!add(folder, folderMask)) {
            return nullptr;
        }
    }
    for (const std::string_view file : files) {
        if (!add(file, fileMask)) {
            return nullptr;
        }
    }
    return std::make_unique<Watch>(std::move(fd));
}

} // namespace korvane
