#pragma once

#include "gitguard/gitreach.h"
#include "gitguard/perprocesspath.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace korvane {

// The files by which git finds and joins up each repository it reaches from a folder: the `.git` it
// finds (a folder, a link, or a file naming the git directory), the git directory and every link in
// it (`config`, `config.worktree`, the index, ...), its `commondir`, the git directory each linked
// worktree names, and a work tree its configuration names. Each must lead to one place for every program
// (PerProcessPath): one that goes through /proc or /dev/fd reads one repository for Korvane's reading and
// another for the command's git, wherever the two start. Lives for one check, on the thread that reads.
class GitReachPaths {
public:
    // The first such file of what `reach` read and why, or none where every one leads to one place.
    static std::optional<std::string> whereElsewhere(const GitReach& reach);

private:
    std::optional<std::string> repository(const GitReachedRepository& reached);
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

    // Every file already followed, and every git directory looked into: repositories share them.
    std::unordered_set<std::string> followed_;
    std::unordered_set<std::string> scanned_;
    PerProcessPath paths_;
};

} // namespace korvane
