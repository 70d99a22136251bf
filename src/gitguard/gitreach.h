#pragma once

#include "base/expected.h"
#include "base/mappedtext.h"
#include "gitguard/gitconfiglisting.h"
#include "platform/processrunner.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// One repository that git started in a folder can reach, as git itself reads it.
struct GitReachedRepository {
    // Its git directory and, where it has one, its work tree, as git resolves them.
    std::filesystem::path gitDir;
    std::optional<std::filesystem::path> workTree;
    // Every entry git lists there, the user's own among them.
    std::vector<GitConfigEntry> entries;
    // The folder git listed them in; an origin that names a relative path is read from there.
    std::filesystem::path listedIn;
    // Whether the work tree git resolves is the repository's own (the folder of its gitlink for a
    // submodule, for the folder's own repository one whose top leads git back to it); asked only where
    // the repository's own configuration names a work tree.
    std::optional<bool> ownWorkTree;
    // The folders where git looks for a remote that no configuration gives an address ("remotes" and
    // "branches" of the git directory), as git names them.
    std::vector<std::filesystem::path> remoteFolders;
    // The listing `entries` are views into.
    std::shared_ptr<const MappedText> listing;
    // The repository's configuration files, read or not ("config" and "config.worktree"), as git names
    // them.
    std::vector<std::filesystem::path> configFiles;
    // The folders where git keeps an operation it continues from what they hold: a rebase, a cherry-pick
    // or revert sequence ("rebase-merge", "rebase-apply", "sequencer"), as git names them.
    std::vector<std::filesystem::path> operationFolders;
};

// A `.git` that git meets where it looks for the repository of a folder: in it or in a folder above it.
struct GitMetDotGit {
    std::filesystem::path path;
    // Whether git, run in the folder, takes it for a repository.
    bool repository = false;
};

// Every repository that git started in a folder can reach, each listed by git itself where that git
// would run: the repository git finds in the folder, each submodule by its work tree (every gitlink of
// an index), each repository kept in a modules folder by its git directory, each linked worktree inside
// the folder by its work tree, and theirs in turn; and what git takes each `.git` it meets on the way up
// for. Reading runs no program of any of them. Plain value; any thread.
class GitReach {
public:
    // What all readings in flight hold at most between them of what git printed to them, and of the
    // entries made of it; a real repository's listing takes kilobytes.
    static constexpr std::size_t heldLimit = 24 * 1024 * 1024;
    // The budget of that size that every reading draws from unless it is given another.
    static const OutputBudget& sharedBudget();

    // Reads what git run as `base` says (its executable, working directory, environment, time limit and
    // cancellation) reaches, holding what git printed to it within a share of `budget`. Fails with the
    // reason where git cannot list a repository's configuration, a modules folder holds a link, the
    // budget has too little left for what git printed, or there is more than a command could reasonably
    // reach.
    static Expected<GitReach, std::string> read(ProcessRunner& runner, const ProcessRequest& base,
                                                const OutputBudget& budget = sharedBudget());

    // The entries git lists in the folder itself (the only ones outside any repository).
    const std::vector<GitConfigEntry>& folderEntries() const { return folderEntries_; }
    // Whether git could list them only without the user's own files, which it cannot read: git then
    // refuses to run there at all, and nothing of the user's is known.
    bool usersFilesUnreadable() const { return usersFilesUnreadable_; }
    // The folder's repository first, then every other one reached; empty outside any repository.
    const std::vector<GitReachedRepository>& repositories() const { return repositories_; }
    // Every `.git` git meets from the folder upward, to the first it takes for a repository.
    const std::vector<GitMetDotGit>& dotGits() const { return dotGits_; }

private:
    friend class GitReachWalk;

    // The share of the budget the reading took what it holds from, handed back once it is gone.
    std::optional<OutputBudget> budget_;
    std::vector<GitConfigEntry> folderEntries_;
    std::shared_ptr<const MappedText> folderListing_;
    bool usersFilesUnreadable_ = false;
    std::vector<GitReachedRepository> repositories_;
    std::vector<GitMetDotGit> dotGits_;
};

} // namespace korvane
