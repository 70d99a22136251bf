#pragma once

#include "gitguard/gitreach.h"
#include "gitguard/perprocesspath.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace korvane {

// The files by which git finds and joins up each repository it reaches from a folder: every `.git` it
// meets looking for the folder's repository (in the folder and above it, one it takes for none too), the
// `.git` of every other repository, the git directory and every link in it (`config`, `config.worktree`,
// the index, ...), its `commondir` and configuration files, the git directory each linked worktree
// names, and a work tree its configuration names. Each must lead to one place for every program
// (PerProcessPath): one that goes through /proc or /dev/fd reads one repository for Korvane's reading and
// another for the command's git, wherever the two start; and a `.git` git takes for no repository in the
// folder may be one for git started below it. A repository's own files must besides not lead through a
// work tree: the command's own checkout, reset or merge may rewrite them after the reading. Lives for one
// check, on the thread that reads.
class GitReachPaths {
public:
    // The first such file of what `reach` read and why, or none where every one leads to one place.
    static std::optional<std::string> whereElsewhere(const GitReach& reach);
    // Why a `.git` that git, run in the folder, takes for no repository keeps the command from running.
    static std::string noRepository(const std::filesystem::path& dotGit);

private:
    explicit GitReachPaths(const GitReach& reach);

    std::optional<std::string> dotGitsMet(const GitReach& reach);
    std::optional<std::string> repository(const GitReachedRepository& reached);
    std::optional<std::string> ownFiles(const GitReachedRepository& reached);
    // The `.git` git meets first in `folder` or above it.
    std::optional<std::string> dotGit(const std::filesystem::path& folder);
    std::optional<std::string> gitDir(const std::filesystem::path& directory,
                                      const std::vector<GitConfigEntry>& entries);
    // `folder` followed, and every link directly in it: the configuration, the index and every other
    // file git reads by a fixed name; then the worktrees it keeps.
    std::optional<std::string> linksIn(const std::filesystem::path& folder);
    std::optional<std::string> worktrees(const std::filesystem::path& gitDir);
    // `file` followed; and where it is a regular file, the path it holds after `prefix`, taken from
    // `file`'s folder. Gives that path (empty where there is none) in `named`.
    std::optional<std::string> pointer(const std::filesystem::path& file, std::string_view prefix,
                                       std::filesystem::path* named = nullptr);
    std::optional<std::string> followed(const std::filesystem::path& file);
    // `path` (relative ones from `from`) followed, each name it passes also checked by inWorkTree while a
    // repository's own files are.
    std::optional<std::string> leads(const std::filesystem::path& path, const std::filesystem::path& from);
    // Why `name`, passed on the way to `target`, lies where the command's own git may write: in a work
    // tree reached, not below a `.git` in it, and neither the top of the own work tree of the repository
    // checked nor a folder above that (which no checkout of a repository reached replaces while the
    // repository is one it reaches).
    std::optional<std::string> inWorkTree(const std::string& name, const std::string& target) const;
    // What a file followed or a folder looked into is known by: its path, and whose own files are checked.
    std::string key(const std::filesystem::path& path) const;

    // The work trees of every repository reached, resolved.
    std::vector<std::string> workTrees_;
    // While a repository's own files are checked: the top of its own work tree, resolved (empty where it
    // has none).
    std::optional<std::string> ownTop_;
    // Every file already followed, and every git directory looked into: repositories share them.
    std::unordered_set<std::string> followed_;
    std::unordered_set<std::string> scanned_;
    PerProcessPath paths_;
};

} // namespace korvane
