#pragma once

#include "base/mappedtext.h"
#include "gitguard/gitmodulesfolder.h"
#include "gitguard/gitreach.h"
#include "gitguard/gitreachrequests.h"
#include "gitguard/gitreachruns.h"
#include "gitguard/processbatch.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

// One reading for GitReach::read: asks git, level by level, for the repository of the folder, then for
// each repository its submodules' work trees (the gitlinks of its index), its linked worktrees inside the
// folder and the repositories kept in its modules folder, every git of one level at once. Lives for one
// reading, on the thread that reads.
class GitReachWalk {
public:
    // What git prints is held within a share of `budget`.
    GitReachWalk(ProcessRunner& runner, const ProcessRequest& base, const OutputBudget& budget);

    // The reason the reading failed, or none.
    std::optional<std::string> walk();
    GitReach take();

private:
    using Via = GitReachRuns::Via;
    using Candidate = GitReachRuns::Candidate;
    using Listed = GitReachRuns::Listed;
    using Paths = GitReachRuns::Paths;

    // Where a folder holds a `.gitmodules`, its index is listed with the first look at it, so that its
    // submodules are not a round of git runs later; whether the listing is used is decided as for any.
    static bool likelyHoldsSubmodules(const Candidate& candidate);

    bool readFolder();
    // Notes what git takes each of `dotGits` for, those `asked` answered in the first look (`answers`,
    // from the third on), where git found the folder's repository in `gitDir`.
    bool noteDotGits(const std::vector<std::filesystem::path>& dotGits,
                     const std::vector<std::filesystem::path>& asked,
                     const std::vector<ProcessBatch::Outcome>& answers,
                     const std::optional<std::filesystem::path>& gitDir);
    bool visit(const std::vector<Candidate>& candidates);
    bool add(const Candidate& candidate, Paths paths, Listed listed,
             std::optional<ProcessBatch::Outcome> index = std::nullopt);
    bool checkOwnWorkTrees(std::size_t from);
    bool followGitlinks(std::size_t from, std::vector<Candidate>& workTrees);
    bool followWorktrees(std::size_t from, std::vector<Candidate>& workTrees);
    std::optional<bool> mayHoldGitlink(std::size_t repository);
    bool followModules(const std::filesystem::path& folder, std::size_t parent,
                       std::vector<Candidate>& gitDirs);

    GitReachRuns runs_;
    GitReachRequests& requests_;
    GitModulesFolder modulesFolders_;
    GitReach result_;
    // Per repository of the result: how it was reached, where its modules and index are.
    std::vector<Candidate> reachedBy_;
    std::vector<Paths> paths_;
    // The index listings made with a repository's first look, by repository.
    std::map<std::size_t, ProcessBatch::Outcome> indexListings_;
    // The work tree of every gitlink of a repository's index, resolved.
    std::map<std::size_t, std::set<std::filesystem::path>> gitlinkTrees_;
    // Every repository by git directory and work tree, resolved, and every git directory.
    std::set<std::pair<std::filesystem::path, std::filesystem::path>> known_;
    std::set<std::filesystem::path> knownGitDirs_;
    // Every worktrees folder whose worktrees git listed.
    std::set<std::filesystem::path> listedWorktrees_;
};

} // namespace korvane
