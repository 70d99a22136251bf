#pragma once

#include "platform/processtable.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// A tmux server's socket: where a tmux client connects, found as tmux itself finds it, and whether it
// is one that only the user could have made, which alone Korvane asks. A value; any thread.
struct TmuxSocket {
    // The socket's path with every link resolved, and its file.
    std::string path;
    FileIdentity file;

    // The path a client started with `arguments` and `environment` in `directory` by user `uid`
    // connects to, as tmux picks it: -S's path; else, without -L, the socket $TMUX names; else -L's
    // name (or "default") in "tmux-<uid>" below the first of $TMUX_TMPDIR and /tmp that is an existing
    // path, a relative one taken from `directory` ("~/" there is a folder named "~", as for tmux).
    // Absent when the arguments cannot be read, or tmux would resolve the path somewhere Korvane
    // cannot follow: from an unknown folder, or through a process's own folders (/proc/self, /dev/fd).
    static std::optional<std::string> clientPath(const std::vector<std::string>& arguments,
                                                 const std::vector<std::string>& environment,
                                                 const std::string& directory, std::uint32_t uid);

    // The socket at `path` (links resolved) where the user `uid` owns it, in a folder of the user's or
    // the system's where no one else may put or replace a file (not writable by group or others, or
    // sticky): no one else can have put it there. Absent otherwise, and for a path through a process's
    // own folders.
    static std::optional<TmuxSocket> ownedBy(const std::string& path, std::uint32_t uid);
};

} // namespace korvane
