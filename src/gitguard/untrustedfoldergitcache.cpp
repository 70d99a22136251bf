#include "gitguard/untrustedfoldergitcache.h"

#include "base/fileio.h"
#include "gitguard/gitreach.h"
#include "gitguard/gitrepositorytexts.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <utility>
#include <vector>

extern char** environ;

namespace korvane {
namespace {

namespace fs = std::filesystem;

// Folders looked at below a modules folder before a reading is no longer kept.
constexpr std::size_t modulesFolderLimit = 4096;
// Linked worktrees of one repository, or entries of a git directory, looked at before a reading is no
// longer kept.
constexpr std::size_t worktreeLimit = 4096;
constexpr std::size_t entryLimit = 4096;
// A pointer file of git's holds one path.
constexpr std::size_t pointerLimit = 64 * 1024;

constexpr std::string_view ownVariables = "KORVANE_";

// The environment git starts with for `request`, as one text: this process's, less what the request
// removes, with its own on top. Korvane's own variables, which git never reads, are left out, so that
// the query of a live command does not make a reading of its own.
std::string environmentOf(const ProcessRequest& request) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const std::size_t equals = text.find('=');
        if (equals != std::string_view::npos) {
            variables.insert_or_assign(std::string(text.substr(0, equals)),
                                       std::string(text.substr(equals + 1)));
        }
    }
    for (const auto& name : request.removedEnvironment) {
        variables.erase(name);
    }
    for (const auto& [name, value] : request.environment) {
        variables.insert_or_assign(name, value);
    }
    std::string text;
    for (const auto& [name, value] : variables) {
        if (!name.starts_with(ownVariables)) {
            text.append(name).append(1, '=').append(value).append(1, '\0');
        }
    }
    return text;
}

std::string keyOf(const ProcessRequest& base) {
    return base.executable + '\0' + base.workingDirectory.value_or(".") + '\0' + environmentOf(base);
}

// The path a pointer file of git's holds (a `.git` file's "gitdir: ", a commondir, a worktree's
// gitdir) as git reads it, from the file's folder; none where there is no such file.
std::optional<fs::path> pointerIn(const fs::path& file, std::string_view prefix) {
    const auto text = readTextFile(file, pointerLimit);
    if (!text || !std::string_view(*text).starts_with(prefix)) {
        return std::nullopt;
    }
    std::string path = text->substr(prefix.size());
    path = path.substr(0, path.find('\0'));
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) {
        path.pop_back();
    }
    if (path.empty()) {
        return std::nullopt;
    }
    return fs::path(path).is_absolute() ? fs::path(path) : file.parent_path() / path;
}

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

// Whether the index of `gitDir`, or a shared index beside it, may hold a gitlink, which leads the
// reading to a submodule: what the reading looks for in an index before it asks git to list one.
bool mayHoldGitlink(const fs::path& gitDir) {
    std::vector<fs::path> files{gitDir / "index"};
    std::error_code error;
    for (fs::directory_iterator it(gitDir, error), end; !error && it != end; it.increment(error)) {
        if (it->path().filename().string().starts_with("sharedindex.")) {
            files.push_back(it->path());
        }
    }
    for (const auto& file : files) {
        if (!fs::exists(fs::symlink_status(file, error))) {
            continue;
        }
        bool found = false;
        std::string seam;
        const auto read = scanRegularFile(file, [&](std::string_view block) {
            const std::size_t keep = GitRepositoryTexts::gitlinkMode.size() - 1;
            seam.append(block.substr(0, keep));
            found = GitRepositoryTexts::holdsGitlinkMode(seam) || GitRepositoryTexts::holdsGitlinkMode(block);
            seam.assign(block.substr(block.size() - std::min(block.size(), keep)));
            return !found;
        });
        if (found || !read) {
            return true;
        }
    }
    return false;
}

// What a reading read of one repository besides its configuration: its git directory and the files in
// it by which git joins it up, where the worktrees it keeps lead, its index (whose gitlinks lead to
// submodules), its modules and remotes folders, and how git found it from where it listed it. The
// index, rewritten by every status, counts only where it holds a gitlink or comes to hold one. Whatever
// else UntrustedFolderGit comes to look at in a repository must be stamped here too.
bool addRepository(GitFolderStamp& stamp, const GitReachedRepository& repository) {
    const fs::path& gitDir = repository.gitDir;
    addGitDirectory(stamp, gitDir);
    for (const char* file : {"config", "config.worktree", "HEAD", "commondir", "gitdir"}) {
        stamp.add((gitDir / file).string());
    }
    if (mayHoldGitlink(gitDir)) {
        stamp.add((gitDir / "index").string());
    } else {
        stamp.addLoose((gitDir / "index").string(), [gitDir] { return !mayHoldGitlink(gitDir); });
    }
    const auto named = pointerIn(gitDir / "commondir", "");
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
        if (const auto worktree = pointerIn(it->path() / "gitdir", "")) {
            stamp.addAlong(worktree->string());
        }
    }
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
            if (const auto pointed = pointerIn(*top / ".git", "gitdir: ")) {
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
    const std::string key = keyOf(base);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               std::chrono::duration<double>(std::max(0.0, base.timeout)));
    std::unique_lock lock(lock_);
    while (true) {
        if (const Kept* found = kept_.find(key)) {
            const Kept kept = *found;
            lock.unlock();
            if (kept.stamp.holds()) {
                return kept.decision;
            }
            lock.lock();
            kept_.erase(key);
            continue;
        }
        const auto under = readings_.find(key);
        if (under == readings_.end()) {
            break;
        }
        const std::shared_ptr<Reading> reading = under->second;
        // Woken when the reading ends; the slices only let a cancellation be seen meanwhile.
        while (!reading->ended) {
            const bool cancelled = base.cancellation && base.cancellation->isCancelled();
            if (cancelled || std::chrono::steady_clock::now() >= deadline) {
                return makeUnexpected(std::string("the configuration could not be read in time"));
            }
            ended_.wait_until(
                lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(20)));
        }
        if (reading->kept) {
            return *reading->kept;
        }
    }
    const auto reading = std::make_shared<Reading>();
    readings_.emplace(key, reading);
    lock.unlock();
    return readAndKeep(runner, base, key, reading);
}

UntrustedFolderGitCache::Decision
UntrustedFolderGitCache::readAndKeep(ProcessRunner& runner, const ProcessRequest& base,
                                     const std::string& key, const std::shared_ptr<Reading>& reading) {
    const auto began = std::chrono::system_clock::now();
    const GitFolderStamp::Variables variables = GitFolderStamp::variablesOf(base);
    const std::string folder = base.workingDirectory.value_or(".");
    GitFolderStamp stamp = GitFolderStamp::take(folder, base.executable, variables);
    stamp.addIdentity(folder);
    const auto reach = GitReach::read(runner, base);
    // A reading git could not finish says nothing that holds until something changes.
    std::optional<Decision> decision;
    bool keep = false;
    if (!reach) {
        decision = makeUnexpected(reach.error());
    } else {
        // Stamped before the decision looks at the git directories' entries, so that one made meanwhile
        // shows as a change.
        const bool sure = addReach(stamp, *reach, variables);
        decision = UntrustedFolderGit::decideRead(*reach);
        const auto settled = began - std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                         std::chrono::duration<double>(settle_));
        keep = sure && !stamp.changedSince(settled, std::chrono::system_clock::now());
    }
    {
        std::lock_guard lock(lock_);
        if (keep) {
            kept_.insert(key, Kept{*decision, std::move(stamp)});
            reading->kept = decision;
        }
        reading->ended = true;
        readings_.erase(key);
    }
    ended_.notify_all();
    return std::move(*decision);
}

} // namespace korvane
