#include "base/pathstamp.h"

#include <cerrno>
#include <sys/stat.h>

namespace korvane {
namespace {

std::int64_t nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

PathStamp::Entry entryOf(const std::string& path, bool follow) {
    struct stat status {};
    if ((follow ? ::stat(path.c_str(), &status) : ::lstat(path.c_str(), &status)) != 0) {
        return {.error = errno == 0 ? -1 : errno};
    }
    return {.device = static_cast<std::uint64_t>(status.st_dev),
            .inode = static_cast<std::uint64_t>(status.st_ino),
            .mode = static_cast<std::uint32_t>(status.st_mode),
            .owner = static_cast<std::uint32_t>(status.st_uid),
            .size = static_cast<std::int64_t>(status.st_size),
            .modified = nanoseconds(status.st_mtim),
            .changed = nanoseconds(status.st_ctim)};
}

bool sameEntry(const PathStamp::Entry& a, const PathStamp::Entry& b) {
    return a.error == b.error && a.device == b.device && a.inode == b.inode && a.mode == b.mode &&
           a.owner == b.owner;
}

bool entryChangedSince(const PathStamp::Entry& entry, std::int64_t since, std::int64_t now) {
    if (entry.error != 0) {
        return false;
    }
    for (const std::int64_t time : {entry.modified, entry.changed}) {
        if (time >= since || time > now) {
            return true;
        }
    }
    return false;
}

} // namespace

PathStamp PathStamp::of(const std::string& path) {
    PathStamp stamp;
    stamp.link = entryOf(path, false);
    stamp.target = S_ISLNK(stamp.link.mode) ? entryOf(path, true) : stamp.link;
    return stamp;
}

bool PathStamp::sameIdentity(const PathStamp& other) const {
    return sameEntry(link, other.link) && sameEntry(target, other.target);
}

bool PathStamp::changedSince(std::chrono::system_clock::time_point since,
                             std::chrono::system_clock::time_point now) const {
    const auto count = [](std::chrono::system_clock::time_point time) {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
    };
    return entryChangedSince(link, count(since), count(now)) ||
           entryChangedSince(target, count(since), count(now));
}

} // namespace korvane
