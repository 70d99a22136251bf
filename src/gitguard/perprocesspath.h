#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <unordered_set>

namespace korvane {

// Whether a path names one place for every program that follows it. Under /proc (self, thread-self,
// <pid>/cwd and root) and at /dev/fd, /dev/stdin, /dev/stdout, /dev/stderr and /dev/tty a path leads
// into the following process's own folders and descriptors, so that git run by Korvane in one folder
// and git run by a command in another read different files through it. The path is followed link by
// link as the kernel follows it, each link asked of the kernel. Lives for one look at a few paths,
// on one thread: the folders it found to be no links are not asked again.
class PerProcessPath {
public:
    // Why `path` (a relative one taken from the absolute folder `from`) may name another place for
    // another program: the per-process name it goes through, or that it could not be followed. None
    // where it leads to one place for all, nowhere included.
    std::optional<std::string> whyNotOnePlace(const std::filesystem::path& path,
                                              const std::filesystem::path& from);

private:
    std::unordered_set<std::string> folders_;
};

} // namespace korvane
