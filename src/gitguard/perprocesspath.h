#pragma once

#include <filesystem>
#include <functional>
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
    // Asked of every name a path passes through, each as the kernel meets it (absolute, no link before
    // it; links and the last name included): why that name keeps the path from naming one place, or none.
    using NameCheck = std::function<std::optional<std::string>(const std::string& name)>;

    // Why `path` (a relative one taken from the absolute folder `from`) may name another place for
    // another program: the per-process name it goes through, what `check` says of a name it passes, or
    // that it could not be followed. None where it leads to one place for all, nowhere included.
    std::optional<std::string> whyNotOnePlace(const std::filesystem::path& path,
                                              const std::filesystem::path& from, const NameCheck& check = {});

private:
    std::unordered_set<std::string> folders_;
};

} // namespace korvane
