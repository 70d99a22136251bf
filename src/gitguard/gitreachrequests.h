#pragma once

#include "base/outputbudget.h"
#include "platform/processrunner.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace korvane {

// How the reading of what git reaches runs git: each run as the command's git would run where it
// looks, all within the reading's one deadline and one budget of what git may print to it. Lives for
// one reading, on the thread that reads.
class GitReachRequests {
public:
    // How git reaches a repository: from the folder, from a gitlink's work tree, or by its git directory.
    enum class Via { folder, workTree, gitDir };

    // Every run keeps what git prints to it within a share of `budget`.
    GitReachRequests(const ProcessRequest& base, const OutputBudget& budget);

    // git run in `directory` (or on the git directory `directory` for Via::gitDir) as the command's git
    // would run there: a submodule's without the variables that name the folder's repository.
    ProcessRequest git(std::vector<std::string> arguments, const std::filesystem::path& directory,
                       Via via) const;
    ProcessRequest listing(const std::filesystem::path& directory, Via via) const;
    // The paths `git rev-parse` gives of a repository, one a line in this order. A repository found by its
    // git directory is asked all before the index; one found by a work tree all, the top only `withTop`.
    enum class Field : std::size_t {
        gitDir,
        modules,
        remotes,
        branches,
        config,
        worktreeConfig,
        worktrees,
        rebaseMerge,
        rebaseApply,
        sequencer,
        index,
        top
    };
    ProcessRequest paths(const std::filesystem::path& directory, Via via, bool withTop) const;
    // One of those paths alone, for a repository whose paths hold a line break.
    ProcessRequest path(std::size_t field, const std::filesystem::path& directory, Via via) const;
    static std::size_t pathCount(Via via, bool withTop);
    // The whole index of the repository whose work tree holds `directory`, paths from its top.
    ProcessRequest index(const std::filesystem::path& directory, Via via) const;
    // Whether git, run in `directory`, takes `dotGit` for a repository: it prints the git directory.
    ProcessRequest resolvedGitDir(const std::filesystem::path& dotGit,
                                  const std::filesystem::path& directory) const;
    // The worktrees of the repository found there, `worktree <path>` among the NUL-ended lines.
    ProcessRequest worktrees(const std::filesystem::path& directory, Via via) const;

    // From now on git reads none of the user's own configuration files.
    void hideUsersFiles() { usersHidden_ = true; }
    bool pastDeadline() const;
    std::chrono::steady_clock::time_point deadline() const { return deadline_; }
    // The reading's share of the budget.
    const OutputBudget& budget() const { return budget_; }
    const ProcessRequest& base() const { return base_; }

private:
    const ProcessRequest& base_;
    std::chrono::steady_clock::time_point deadline_;
    // Every run of the reading takes the room it keeps git's answer in from it, so that the answers held
    // at once, however many, stay within it.
    OutputBudget budget_;
    // Set once git could list the folder only without the user's own files.
    bool usersHidden_ = false;
};

} // namespace korvane
