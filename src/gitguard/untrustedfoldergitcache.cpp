#include "gitguard/untrustedfoldergitcache.h"

#include "gitguard/gitindexgitlinks.h"
#include "gitguard/gitreach.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;

// Folders looked at below a modules folder before a reading is no longer kept.
constexpr std::size_t modulesFolderLimit = 4096;
// Linked worktrees of one repository, or entries of a git directory, looked at before a reading is no
// longer kept.
constexpr std::size_t worktreeLimit = 4096;
constexpr std::size_t entryLimit = 4096;

// Every folder below the modules folder `folder` down to the repositories kept there, whose own files
// are stamped with them: a repository added or removed anywhere in it moves one of their times.
bool addModulesFolder(GitFolderStamp& stamp, const fs::path& folder) {
    std::vector<fs::path> pending{folder};
    std::size_t seen = 0;
    while (!pending.empty()) {
        const fs::path current = pending.back();
        pending.pop_back();
        std::error_code error;
        if (current != folder && fs::exists(fs::symlink_status(current / "HEAD", error))) {
            stamp.add((current / "HEAD").string());
            stamp.add((current / "config").string());
            continue;
        }
        stamp.add(current.string());
        for (fs::directory_iterator it(current, error), end; !error && it != end; it.increment(error)) {
            if (it->symlink_status(error).type() == fs::file_type::directory) {
                if (++seen > modulesFolderLimit) {
                    return false;
                }
                pending.push_back(it->path());
            }
        }
    }
    return true;
}

// The entries of the git directory `folder`, each by its name, its type and, for a link, where it
// leads; lock files, which git makes and removes as it works, left out. Of what git rewrites there (the
// index, refs, logs) a decision depends on which entries are there alone, the files it reads by name being
// stamped on their own. None where the folder cannot be read whole, which then never matches.
std::optional<std::string> entriesOf(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        if (name.ends_with(".lock")) {
            continue;
        }
        const auto type = it->symlink_status(error).type();
        name += '\0' + std::to_string(static_cast<int>(type));
        if (type == fs::file_type::symlink) {
            name += '\0' + fs::read_symlink(it->path(), error).string();
        }
        names.push_back(std::move(name));
        if (names.size() > entryLimit) {
            return std::nullopt;
        }
    }
    if (error && error != std::errc::no_such_file_or_directory) {
        return std::nullopt;
    }
    std::sort(names.begin(), names.end());
    std::string text;
    for (const auto& name : names) {
        text.append(name).append(1, '\n');
    }
    return text;
}

void addGitDirectory(GitFolderStamp& stamp, const fs::path& folder) {
    const auto entries = entriesOf(folder);
    if (!entries) {
        stamp.add(folder.string());
        return;
    }
    stamp.addLoose(folder.string(), [folder, entries] { return entriesOf(folder) == entries; });
}

// `path` with its links resolved where it can be, else as it stands.
fs::path canonicalOrSame(const fs::path& path) {
    std::error_code error;
    fs::path canonical = fs::weakly_canonical(path, error);
    return error ? path.lexically_normal() : canonical;
}

// Whether the index of `gitDir`, or a shared index beside it, may hold a gitlink, which leads the
// reading to a submodule: what the reading looks for in an index before it asks git to list one.
bool mayHoldGitlink(const fs::path& gitDir) {
    return GitIndexGitlinks::mayHold(gitDir / "index", gitDir).value_or(true);
}

// A git directory and the files in it by which git joins it up: its entries, its own files, its common
// directory and where the worktrees kept there lead. The paths of a `.git` met on the way to a
// repository are judged by the same files (GitReachPaths), a repository or not.
bool addJoinedGitDirectory(GitFolderStamp& stamp, const fs::path& gitDir) {
    addGitDirectory(stamp, gitDir);
    for (const char* file : {"config", "config.worktree", "HEAD", "commondir", "gitdir"}) {
        stamp.add((gitDir / file).string());
    }
    const auto named = GitFolderStamp::pointerIn(gitDir / "commondir", "");
    const fs::path common = named.value_or(gitDir);
    stamp.addAlong(common.string());
    addGitDirectory(stamp, common);
    stamp.add((common / "config").string());
    stamp.add((common / "worktrees").string());
    std::error_code error;
    std::size_t worktrees = 0;
    for (fs::directory_iterator it(common / "worktrees", error), end; !error && it != end;
         it.increment(error)) {
        if (++worktrees > worktreeLimit) {
            return false;
        }
        stamp.add((it->path() / "gitdir").string());
        if (const auto worktree = GitFolderStamp::pointerIn(it->path() / "gitdir", "")) {
            stamp.addAlong(worktree->string());
        }
    }
    return true;
}

// What a reading read of one repository besides its configuration: its git directory as
// addJoinedGitDirectory stamps it, its index (whose gitlinks lead to submodules), its modules and remotes
// folders, and how git found it from where it listed it. The index, rewritten by every status, counts
// only where it holds a gitlink or comes to hold one. Whatever else UntrustedFolderGit comes to look at in
// a repository must be stamped here too.
bool addRepository(GitFolderStamp& stamp, const GitReachedRepository& repository) {
    const fs::path& gitDir = repository.gitDir;
    if (!addJoinedGitDirectory(stamp, gitDir)) {
        return false;
    }
    if (mayHoldGitlink(gitDir)) {
        stamp.add((gitDir / "index").string());
    } else {
        stamp.addLoose((gitDir / "index").string(), [gitDir] { return !mayHoldGitlink(gitDir); });
    }
    const fs::path common = GitFolderStamp::pointerIn(gitDir / "commondir", "").value_or(gitDir);
    for (const auto& folder : repository.remoteFolders) {
        stamp.add(folder.string());
    }
    for (const auto& entry : repository.entries) {
        if (entry.key == "core.worktree" && entry.value && !GitConfigListing::isUsers(entry)) {
            stamp.addAlong((gitDir / *entry.value).string());
        }
    }
    for (const auto& top : {std::optional(repository.listedIn), repository.workTree}) {
        if (top) {
            stamp.addIdentity(top->string());
            stamp.addEntry((*top / ".git").string());
            if (const auto pointed = GitFolderStamp::pointerIn(*top / ".git", "gitdir: ")) {
                stamp.addAlong(pointed->string());
            }
        }
    }
    return addModulesFolder(stamp, common / "modules");
}

// What the reading of `reach` read, added to the stamp taken before it began; false where some of it
// cannot be stamped.
bool addReach(GitFolderStamp& stamp, const GitReach& reach, const GitFolderStamp::Variables& variables) {
    bool sure = stamp.addListing(reach.folderEntries(), std::nullopt, variables);
    std::set<fs::path> reached;
    for (const auto& repository : reach.repositories()) {
        reached.insert(canonicalOrSame(repository.gitDir));
    }
    // A `.git` folder met on the way that is no git directory read is judged by its files all the same.
    for (const auto& met : reach.dotGits()) {
        std::error_code error;
        if (fs::is_directory(fs::status(met.path, error)) && !reached.contains(canonicalOrSame(met.path))) {
            sure = addJoinedGitDirectory(stamp, met.path) && sure;
        }
    }
    if (const auto index = variables("GIT_INDEX_FILE")) {
        stamp.add(*index);
    }
    for (const auto& repository : reach.repositories()) {
        const std::string base = repository.workTree.value_or(repository.listedIn).string();
        sure = stamp.addListing(repository.entries, base, variables) && sure;
        sure = addRepository(stamp, repository) && sure;
        stamp.addSearchFrom(repository.listedIn.string());
        if (repository.workTree) {
            stamp.addSearchFrom(repository.workTree->string());
        }
    }
    return sure;
}

} // namespace

Expected<UntrustedFolderGit, std::string> UntrustedFolderGitCache::read(ProcessRunner& runner,
                                                                        const ProcessRequest& base) {
    auto decision = readings_.read(base, [&] { return readAndStamp(runner, base); });
    if (!decision) {
        return makeUnexpected(std::string("the configuration could not be read in time"));
    }
    return std::move(*decision);
}

GitFolderReadings<UntrustedFolderGitCache::Decision>::Read
UntrustedFolderGitCache::readAndStamp(ProcessRunner& runner, const ProcessRequest& base) const {
    const auto began = std::chrono::system_clock::now();
    const GitFolderStamp::Variables variables = GitFolderStamp::variablesOf(base);
    const std::string folder = base.workingDirectory.value_or(".");
    GitFolderStamp stamp = GitFolderStamp::take(folder, base.executable, variables);
    const auto reach = GitReach::read(runner, base);
    // A reading git could not finish says nothing that holds until something changes.
    if (!reach) {
        return {makeUnexpected(reach.error()), std::nullopt};
    }
    // Stamped before the decision looks at the git directories' entries, so that one made meanwhile
    // shows as a change.
    const bool sure = addReach(stamp, *reach, variables);
    // The paths that values and text file keys name lead the decision where their links lead; past the
    // limit of such paths the decision waits, whatever the rest lead to.
    for (const auto& path : UntrustedFolderGit::followedPaths(base, *reach)) {
        stamp.addAlong(path);
    }
    Decision decision = UntrustedFolderGit::decideRead(runner, base, *reach);
    if (!sure || !stamp.settled(began, settle_)) {
        return {std::move(decision), std::nullopt};
    }
    return {std::move(decision), std::move(stamp)};
}

} // namespace korvane
