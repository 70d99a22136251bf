#pragma once

#include "base/pathstamp.h"
#include "gitguard/gitconfiglisting.h"
#include "platform/processrunner.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace korvane {

// A stamp of what decides git's answers in a folder, which an answer may be kept for while it holds:
// the `.git` the folder and every folder above it may hold (and where one is there, its HEAD, config
// and commondir, and who owns that folder), the user's and the system's configuration files, the git
// program itself, and any path added to it. Taken before git is asked, so that a change while git runs shows
// as one afterwards. A value; any thread.
class GitFolderStamp {
public:
    // A variable of the environment git runs with; none where it is not set.
    using Variables = std::function<std::optional<std::string>(const std::string& name)>;

    // The variables of `request`'s environment: its own, else this process's unless it removes them.
    static Variables variablesOf(const ProcessRequest& request);

    static GitFolderStamp take(const std::string& folder, const std::string& executable,
                               const Variables& variables);
    // The files git reads the user's and the system's configuration from in that environment, whether
    // they are there or not.
    static std::vector<std::string> usersFiles(const Variables& variables);

    // The path's stamp, taken now unless it was taken before.
    PathStamp add(const std::string& path);
    // A folder whose entries decide nothing: only what it is and who owns it count.
    void addIdentity(const std::string& path);
    // A path whose own entry counts: all of a file or a link, a folder as addIdentity.
    PathStamp addEntry(const std::string& path);
    // `path` and each path on the way to it (each folder as addIdentity, each link whole), so that a
    // link made on the way to it shows: it may lead each program that follows it somewhere else.
    void addAlong(const std::string& path);
    // A path that git rewrites as it works, of which an answer read only a little: a change to it
    // counts only where `stillTheSame` then says that little changed. Asked after the answer was read,
    // so it is not dated as other paths are (changedSince).
    void addLoose(const std::string& path, std::function<bool()> stillTheSame);
    // Where git looks for a repository from `folder`, as `take` stamps it.
    void addSearchFrom(const std::string& folder);
    // The files the entries of a listing came from and every file they include, whether it is there or
    // not. A relative origin is read from `base` (the top of the work tree git listed in), or where none
    // is known from the folder and from each folder above it. False where an include names a file by a
    // form git resolves in a way of its own (`~user/`, `%(prefix)/`), which then stays unstamped.
    bool addListing(const std::vector<GitConfigEntry>& entries, const std::optional<std::string>& base,
                    const Variables& variables);
    // Whether every path stamped still stamps the same.
    bool holds() const;
    // Whether a path stamped bears a time at `since` or later (or one ahead of `now`): a change then
    // may have fallen within a reading that began at `since` without showing in the stamp. Folders
    // outside the one git runs in count only where stamped whole, paths added loose not at all.
    bool changedSince(std::chrono::system_clock::time_point since,
                      std::chrono::system_clock::time_point now) const;

private:
    struct Stamped {
        std::string path;
        PathStamp stamp;
        // Asked when the stamp changed: whether that changed nothing that counts.
        std::function<bool(const PathStamp& now)> unchanged;
        bool dated = true;
    };

    enum class Kind { whole, identity, loose };
    PathStamp insert(const std::string& path, const PathStamp& stamp, Kind kind,
                     std::function<bool(const PathStamp& now)> unchanged);

    std::string folder_;
    std::vector<Stamped> stamps_;
    // The paths stamped whole.
    std::unordered_map<std::string, std::size_t> index_;
};

} // namespace korvane
