#include "gitguard/gitreachpaths.h"

#include "base/fileio.h"
#include "gitguard/gitconfiglisting.h"
#include "gitguard/pathinfolder.h"

#include <cerrno>
#include <sys/stat.h>
#include <utility>

namespace korvane {
namespace {

namespace fs = std::filesystem;

// A file that holds one path is far smaller than this; a larger one is not read, and the command waits.
constexpr std::size_t pointerLimit = 64 * 1024;
// Past this many files in a git directory, or linked worktrees of one repository, the command waits
// rather than look at each: a git directory holds a few dozen.
constexpr std::size_t entryLimit = 4096;

// Asks `look` of each entry of `folder`, a folder that is not there holding none: the reason the
// command waits where `look` gives one, the folder cannot be read, or it holds more than entryLimit.
template <typename Look>
std::optional<std::string> eachEntry(const fs::path& folder, const std::string& tooMany, Look look) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        return error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory
                   ? std::nullopt
                   : std::optional(folder.string() + " could not be read");
    }
    std::size_t count = 0;
    for (fs::directory_iterator end; !error && it != end; it.increment(error)) {
        if (++count > entryLimit) {
            return tooMany;
        }
        if (auto why = look(*it, error)) {
            return why;
        }
    }
    return error ? std::optional(folder.string() + " could not be read") : std::nullopt;
}

std::string resolved(const fs::path& path) {
    return PathInFolder::resolved(path).string();
}

bool isThere(const fs::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 || errno != ENOENT;
}

// How a reason names `path`: itself where it is there, else what is missing of it in the nearest
// folder above that is ("worktrees in /srv/repo"), so that no reason names a path that does not exist.
std::string named(const fs::path& path) {
    fs::path at = path;
    while (!isThere(at) && at.has_relative_path()) {
        at = at.parent_path();
    }
    return at == path ? path.string() : path.lexically_relative(at).string() + " in " + at.string();
}

} // namespace

std::optional<std::string> GitReachPaths::whereElsewhere(const GitReach& reach) {
    GitReachPaths paths(reach);
    if (auto why = paths.dotGitsMet(reach)) {
        return why;
    }
    for (const auto& reached : reach.repositories()) {
        if (auto why = paths.repository(reached)) {
            return why;
        }
    }
    return std::nullopt;
}

std::string GitReachPaths::noRepository(const fs::path& dotGit) {
    return dotGit.string() +
           " is no repository for git here, and may be one for git started in a folder below";
}

GitReachPaths::GitReachPaths(const GitReach& reach) {
    for (const auto& reached : reach.repositories()) {
        if (reached.workTree) {
            workTrees_.push_back(resolved(*reached.workTree));
        }
    }
}

std::optional<std::string> GitReachPaths::dotGitsMet(const GitReach& reach) {
    for (const auto& met : reach.dotGits()) {
        if (auto why = pointer(met.path, "gitdir: ")) {
            return why;
        }
        std::error_code error;
        if (fs::is_directory(fs::status(met.path, error))) {
            if (auto why = gitDir(met.path, {})) {
                return why;
            }
        }
        if (!met.repository) {
            return noRepository(met.path);
        }
    }
    return std::nullopt;
}

std::optional<std::string> GitReachPaths::repository(const GitReachedRepository& reached) {
    if (auto why = followed(reached.listedIn)) {
        return why;
    }
    ownTop_ = reached.workTree ? resolved(*reached.workTree) : std::string();
    auto why = ownFiles(reached);
    ownTop_.reset();
    return why;
}

std::optional<std::string> GitReachPaths::ownFiles(const GitReachedRepository& reached) {
    // One that git was given by its git directory is found by no `.git`.
    if (reached.listedIn.lexically_normal() != reached.gitDir.lexically_normal()) {
        if (auto why = dotGit(reached.listedIn)) {
            return why;
        }
    }
    if (reached.workTree && reached.workTree->lexically_normal() != reached.listedIn.lexically_normal()) {
        if (auto why = dotGit(*reached.workTree)) {
            return why;
        }
    }
    if (auto why = gitDir(reached.gitDir, reached.entries)) {
        return why;
    }
    for (const auto& file : reached.configFiles) {
        if (auto why = followed(file)) {
            return why;
        }
    }
    return std::nullopt;
}

std::optional<std::string> GitReachPaths::dotGit(const fs::path& folder) {
    for (fs::path at = folder;; at = at.parent_path()) {
        const fs::path file = at / ".git";
        std::error_code error;
        const auto status = fs::symlink_status(file, error);
        if (status.type() != fs::file_type::not_found) {
            return error ? std::optional(file.string() + " could not be read") : pointer(file, "gitdir: ");
        }
        if (at == at.parent_path()) {
            return std::nullopt;
        }
    }
}

std::optional<std::string> GitReachPaths::gitDir(const fs::path& directory,
                                                 const std::vector<GitConfigEntry>& entries) {
    if (auto why = linksIn(directory)) {
        return why;
    }
    fs::path common;
    if (auto why = pointer(directory / "commondir", "", &common)) {
        return why;
    }
    if (!common.empty()) {
        // Followed already, so it is the same folder for every program.
        std::error_code error;
        const fs::path commonDir = fs::weakly_canonical(directory / common, error);
        if (auto why = linksIn(error ? directory / common : commonDir)) {
            return why;
        }
    }
    for (const auto& entry : entries) {
        if (entry.key != "core.worktree" || !entry.value || GitConfigListing::isUsers(entry)) {
            continue;
        }
        if (auto why = paths_.whyNotOnePlace(*entry.value, directory)) {
            return std::string(GitConfigListing::originFile(entry)) + " sets core.worktree to a path that " +
                   *why;
        }
    }
    return std::nullopt;
}

std::optional<std::string> GitReachPaths::linksIn(const fs::path& folder) {
    if (auto why = followed(folder)) {
        return why;
    }
    if (!scanned_.insert(key(folder)).second) {
        return std::nullopt;
    }
    const auto why = eachEntry(folder, folder.string() + " holds too many files",
                               [&](const fs::directory_entry& entry, std::error_code& error) {
                                   return entry.is_symlink(error) ? followed(entry.path()) : std::nullopt;
                               });
    if (why) {
        return why;
    }
    return worktrees(folder);
}

// The git directory each linked worktree of a repository names, which its commands go to. The worktrees
// lie where their users put them, work trees among them: what they name is no file of this repository's.
std::optional<std::string> GitReachPaths::worktrees(const fs::path& commonDir) {
    const fs::path folder = commonDir / "worktrees";
    if (auto why = followed(folder)) {
        return why;
    }
    const auto own = std::exchange(ownTop_, std::nullopt);
    auto why = eachEntry(folder, "too many linked worktrees in " + folder.string(),
                         [&](const fs::directory_entry& entry, std::error_code&) {
                             return pointer(entry.path() / "gitdir", "");
                         });
    ownTop_ = own;
    return why;
}

std::optional<std::string> GitReachPaths::pointer(const fs::path& file, std::string_view prefix,
                                                  fs::path* named) {
    if (auto why = followed(file)) {
        return why;
    }
    std::error_code error;
    const auto status = fs::status(file, error);
    if (status.type() == fs::file_type::not_found || fs::is_directory(status)) {
        return std::nullopt;
    }
    const auto text = readRegularFile(file, pointerLimit);
    if (!text) {
        return file.string() + " could not be read";
    }
    // git reads the path as a C string, up to its line end.
    std::string_view held(*text);
    held = held.substr(0, held.find('\0'));
    if (!held.starts_with(prefix)) {
        return file.string() + " names no git directory";
    }
    held.remove_prefix(prefix.size());
    while (!held.empty() && (held.back() == '\n' || held.back() == '\r')) {
        held.remove_suffix(1);
    }
    const fs::path path{std::string(held)};
    if (auto why = leads(path, file.parent_path())) {
        return file.string() + " names a path that " + *why;
    }
    if (named != nullptr) {
        *named = path;
    }
    return std::nullopt;
}

std::optional<std::string> GitReachPaths::followed(const fs::path& file) {
    std::error_code error;
    const fs::path absolute = file.is_absolute() ? file : fs::absolute(file, error);
    if (error) {
        return file.string() + " could not be read";
    }
    if (!followed_.insert(key(absolute)).second) {
        return std::nullopt;
    }
    if (auto why = leads(absolute, "/")) {
        return named(absolute) + " " + *why;
    }
    return std::nullopt;
}

std::optional<std::string> GitReachPaths::leads(const fs::path& path, const fs::path& from) {
    if (!ownTop_) {
        return paths_.whyNotOnePlace(path, from);
    }
    const std::string target = (from / path).lexically_normal().string();
    return paths_.whyNotOnePlace(path, from,
                                 [&](const std::string& name) { return inWorkTree(name, target); });
}

std::optional<std::string> GitReachPaths::inWorkTree(const std::string& name,
                                                     const std::string& target) const {
    const auto within = [](std::string_view path, std::string_view folder) {
        return PathInFolder::inside(path, folder) && !PathInFolder::inside(folder, path);
    };
    for (const auto& top : workTrees_) {
        if (!within(name, top) || (ownTop_ && (*ownTop_ == name || within(*ownTop_, name)))) {
            continue;
        }
        // git writes no path of a work tree that holds a `.git`, whatever it checks out.
        const std::string_view below =
            std::string_view(name).substr(top.size() - (top.ends_with('/') ? 1 : 0));
        if (below.find("/.git/") != std::string_view::npos || below.ends_with("/.git")) {
            continue;
        }
        const std::string by = "the command's own checkout, reset or merge may ";
        if (!isThere(name)) {
            return "is not there yet, and " + by + "make it in the work tree " + top + " before git reads it";
        }
        const std::string where = " the work tree " + top + ", where " + by + "rewrite it";
        return name == target ? "lies in" + where : "leads through " + name + " in" + where;
    }
    return std::nullopt;
}

std::string GitReachPaths::key(const fs::path& path) const {
    return ownTop_ ? *ownTop_ + '\0' + path.native() : path.native();
}

} // namespace korvane
