#pragma once

#include "base/pathstamp.h"
#include "gitguard/gitconfiglisting.h"
#include "platform/processrunner.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace korvane {

// A stamp of what decides git's answers in a folder, which an answer may be kept for while it holds:
// what the folder is and each link on the way to it; in it and in every folder above it, who owns that
// folder, the `.git` it may hold and the folder itself, each as git tries it for a git directory (its HEAD,
// configuration, commondir, and the objects and refs of the common directory); the user's and the
// system's configuration files, the git program itself, and any path added to it. Taken before git is
// asked, so that a change while git runs shows as one afterwards. A value; any thread.
class GitFolderStamp {
public:
    // A variable of the environment git runs with; none where it is not set.
    using Variables = std::function<std::optional<std::string>(const std::string& name)>;

    // The variables of `request`'s environment: its own, else this process's unless it removes them.
    static Variables variablesOf(const ProcessRequest& request);
    // What a reading run as `request` depends on besides files, as one text: its program, its folder and
    // the environment git starts with, less Korvane's own variables, which git never reads (so that the
    // query of a live command makes no reading of its own).
    static std::string readingKey(const ProcessRequest& request);
    // The path a pointer file of git's holds (a `.git` file's "gitdir: ", a commondir, a worktree's
    // gitdir), from the file's folder where it is relative; none where there is no such file.
    static std::optional<std::filesystem::path> pointerIn(const std::filesystem::path& file,
                                                          std::string_view prefix);

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
    // Where git looks for a repository from `folder`, as `take` stamps it: whether any folder there holds
    // a `.git` or a `HEAD`, something git may take for a repository.
    bool addSearchFrom(const std::string& folder);
    // The files the entries of a listing came from and every file they include, whether it is there or
    // not. A relative origin is read from `base` (the top of the work tree git listed in), or where none
    // is known from the folder and from each folder above it. False where an include names a file by a
    // form git resolves in a way of its own (`~user/`, `%(prefix)/`), which then stays unstamped.
    bool addListing(const std::vector<GitConfigEntry>& entries, const std::optional<std::string>& base,
                    const Variables& variables);
    // Whether, when `take` looked, neither the folder nor any folder above it held a `.git` or a `HEAD`:
    // git then finds no repository there, whatever its configuration says.
    bool searchMetNothing() const { return searchMetNothing_; }
    // Whether every path stamped still stamps the same.
    bool holds() const;
    // Whether no path stamped after `take` bears a time from `settle` seconds before `began` on, or one
    // ahead of the clock: a change then may have fallen within a reading that began at `began` without
    // showing in the stamp, file systems dating changes in steps as coarse as 2 s. Folders outside the
    // one git runs in count only where stamped whole, paths added loose not at all.
    bool settled(std::chrono::system_clock::time_point began, double settle) const;

private:
    struct Stamped {
        std::string path;
        PathStamp stamp;
        // Asked when the stamp changed: whether that changed nothing that counts.
        std::function<bool(const PathStamp& now)> unchanged;
        bool dated = true;
    };

    enum class Kind { whole, identity, loose };
    // What git reads of `gitDir` as it tries it for a git directory.
    void addTriedGitDirectory(const std::filesystem::path& gitDir);
    PathStamp insert(const std::string& path, const PathStamp& stamp, Kind kind,
                     std::function<bool(const PathStamp& now)> unchanged);

    std::string folder_;
    std::vector<Stamped> stamps_;
    // How many of the stamps `take` took, before git was asked.
    std::size_t takenBefore_ = 0;
    // The paths stamped whole, and those stamped by their identity alone since `take`.
    std::unordered_map<std::string, std::size_t> index_;
    std::unordered_set<std::string> identities_;
    bool searchMetNothing_ = false;
};

} // namespace korvane
