#pragma once

#include "base/mappedtext.h"
#include "gitguard/gitmodulesfolder.h"
#include "gitguard/gitreach.h"
#include "gitguard/gitreachrequests.h"
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
    using Via = GitReachRequests::Via;
    struct Candidate {
        Via via;
        std::filesystem::path path;
        // The repository whose index or modules folder named it.
        std::size_t parent = 0;
    };
    // A configuration as git listed it: its text, and its entries as views into it.
    struct Listed {
        std::shared_ptr<const MappedText> text;
        std::vector<GitConfigEntry> entries;
    };
    // What `git rev-parse` says of a repository.
    struct Paths {
        std::filesystem::path gitDir;
        std::filesystem::path modules;
        std::vector<std::filesystem::path> remoteFolders;
        std::vector<std::filesystem::path> configFiles;
        std::filesystem::path worktrees;
        std::vector<std::filesystem::path> operationFolders;
        std::filesystem::path index;
        std::optional<std::filesystem::path> workTree;
    };

    // Where a folder holds a `.gitmodules`, its index is listed with the first look at it, so that its
    // submodules are not a round of git runs later; whether the listing is used is decided as for any.
    static bool likelyHoldsSubmodules(const Candidate& candidate);
    // The batch's outcomes, or none when one of them failed the reading (said in `error_`). A launch
    // that fails because `directory` is gone is left for the caller.
    std::optional<std::vector<ProcessBatch::Outcome>> runAll(const std::vector<ProcessRequest>& requests);
    bool ended(const ProcessBatch::Outcome& outcome, const std::filesystem::path& directory);
    // The listing of a repository's configuration, which git prints into `text`.
    ProcessRequest listingInto(const std::filesystem::path& directory, Via via,
                               std::shared_ptr<MappedText>& text);
    // The entries of a listing git printed, or none (and the reading failed) where the budget cannot
    // hold them.
    std::optional<Listed> parsed(std::shared_ptr<const MappedText> text);
    bool failPastBudget();
    bool expired();

    bool readFolder();
    // Notes what git takes each of `dotGits` for, those `asked` answered in the first look (`answers`,
    // from the third on), where git found the folder's repository in `gitDir`.
    bool noteDotGits(const std::vector<std::filesystem::path>& dotGits,
                     const std::vector<std::filesystem::path>& asked,
                     const std::vector<ProcessBatch::Outcome>& answers,
                     const std::optional<std::filesystem::path>& gitDir);
    // The repository the candidate's git finds: none when git finds none (which `listed` must agree
    // with); no answer (and `error_` set) when the reading failed.
    std::optional<std::optional<Paths>> find(const Candidate& candidate, const ProcessBatch::Outcome& answer,
                                             const std::vector<GitConfigEntry>& listed);
    std::optional<std::vector<std::string>> values(const Candidate& candidate,
                                                   const ProcessBatch::Outcome& answer, bool withTop);
    bool visit(const std::vector<Candidate>& candidates);
    bool add(const Candidate& candidate, Paths paths, Listed listed,
             std::optional<ProcessBatch::Outcome> index = std::nullopt);
    bool checkOwnWorkTrees(std::size_t from);
    bool followGitlinks(std::size_t from, std::vector<Candidate>& workTrees);
    bool followWorktrees(std::size_t from, std::vector<Candidate>& workTrees);
    std::optional<bool> mayHoldGitlink(std::size_t repository);
    bool followModules(const std::filesystem::path& folder, std::size_t parent,
                       std::vector<Candidate>& gitDirs);
    bool fail(std::string reason) {
        error_ = std::move(reason);
        return false;
    }

    ProcessRunner& runner_;
    GitReachRequests requests_;
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
    std::string error_;
};

} // namespace korvane
