#include "gitguard/gitreachwalk.h"

#include "base/mappedtext.h"
#include "gitguard/gitindexgitlinks.h"
#include "gitguard/gitmodulesfolder.h"
#include "gitguard/gitreachpaths.h"
#include "gitguard/gitrepositorytexts.h"
#include "gitguard/pathinfolder.h"

#include <algorithm>
#include <cerrno>
#include <iterator>

namespace korvane {
namespace {

namespace fs = std::filesystem;

// Past these a folder fails the reading rather than make every command wait: a project with a few
// hundred submodules still reads within the time a scan run has.
constexpr std::size_t repositoryLimit = 256;
// Work trees of one level, gitlinks populated or not and linked worktrees, each asked of git.
constexpr std::size_t workTreeLimit = 1024;

bool namesWorkTree(const std::vector<GitConfigEntry>& entries) {
    return std::any_of(entries.begin(), entries.end(), [](const GitConfigEntry& entry) {
        return entry.key == "core.worktree" && !GitConfigListing::isUsers(entry);
    });
}

// The `.git` of `folder` and of each folder above it, where there is one: git looks for the folder's
// repository in each, from the folder's real path upward.
std::vector<fs::path> dotGitsOf(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code error;
    fs::path at = fs::canonical(folder, error);
    while (!error) {
        if (fs::symlink_status(at / ".git", error).type() != fs::file_type::not_found) {
            found.push_back(at / ".git");
        }
        if (at == at.parent_path()) {
            break;
        }
        at = at.parent_path();
        error.clear();
    }
    return found;
}

} // namespace

GitReachWalk::GitReachWalk(ProcessRunner& runner, const ProcessRequest& base, const OutputBudget& budget)
    : runs_(runner, base, budget)
    , requests_(runs_.requests())
    , modulesFolders_([this] { return !runs_.expired(); }) {}

bool GitReachWalk::likelyHoldsSubmodules(const Candidate& candidate) {
    std::error_code error;
    return candidate.via != Via::gitDir &&
           fs::exists(fs::symlink_status(candidate.path / ".gitmodules", error));
}

GitReach GitReachWalk::take() {
    result_.budget_ = requests_.budget();
    return std::move(result_);
}

bool GitReachWalk::readFolder() {
    const Candidate folder{Via::folder, requests_.base().workingDirectory.value_or("."), 0};
    const auto dotGits = dotGitsOf(folder.path);
    // A `.git` folder is known by the repository git finds; what git takes any other `.git` for is asked
    // with the first look.
    std::vector<fs::path> asked;
    std::copy_if(dotGits.begin(), dotGits.end(), std::back_inserter(asked), [](const fs::path& dotGit) {
        std::error_code error;
        return !fs::is_directory(fs::status(dotGit, error));
    });
    std::shared_ptr<MappedText> text;
    // The listing, the repository's paths, the `.git`s asked about, and the index where wanted.
    const auto firstLook = [&](bool withIndex) {
        std::vector<ProcessRequest> requests{runs_.listingInto(folder.path, folder.via, text),
                                             requests_.paths(folder.path, folder.via, true)};
        for (const auto& dotGit : asked) {
            requests.push_back(requests_.resolvedGitDir(dotGit, folder.path));
        }
        if (withIndex) {
            requests.push_back(requests_.index(folder.path, Via::folder));
        }
        return requests;
    };
    auto first = runs_.runAll(firstLook(likelyHoldsSubmodules(folder)));
    if (!first || !runs_.ended((*first)[0], folder.path)) {
        return false;
    }
    ProcessBatch::Outcome answer = std::move((*first)[0]);
    ProcessBatch::Outcome paths = std::move((*first)[1]);
    if (!answer->succeeded()) {
        // Where git lists the folder without the user's own files, it was one of those that it could not
        // read: it then refuses to run at all, and the folder's own entries are still to be judged.
        const std::string complaint = GitRepositoryTexts::complaint(answer->errorOutput);
        requests_.hideUsersFiles();
        auto again = runs_.runAll(firstLook(false));
        if (!again || !runs_.ended((*again)[0], folder.path)) {
            return false;
        }
        if (!(*again)[0]->succeeded()) {
            // git fails where the `.git` it meets first is no repository for it: that `.git` is named.
            if (!noteDotGits(dotGits, asked, *again, std::nullopt)) {
                return false;
            }
            for (const auto& met : result_.dotGits_) {
                if (!met.repository) {
                    return runs_.fail(GitReachPaths::noRepository(met.path));
                }
            }
            return runs_.fail(complaint.empty()
                                  ? "the configuration of " + folder.path.string() + " could not be read"
                                  : complaint);
        }
        result_.usersFilesUnreadable_ = true;
        paths = std::move((*again)[1]);
        first = std::move(again);
    }
    auto listed = runs_.parsed(std::move(text));
    if (!listed) {
        return false;
    }
    // The folder's own entries are the first repository's too, where there is one: views, each taken
    // from the budget once more.
    if (!requests_.budget().take(listed->entries.size() * sizeof(GitConfigEntry))) {
        return runs_.failPastBudget();
    }
    result_.folderEntries_ = listed->entries;
    result_.folderListing_ = listed->text;
    const auto found = runs_.find(folder, paths, listed->entries);
    if (!found ||
        !noteDotGits(dotGits, asked, *first, *found ? std::optional((*found)->gitDir) : std::nullopt)) {
        return false;
    }
    std::optional<ProcessBatch::Outcome> index;
    if (first->size() > 2 + asked.size()) {
        index = std::move(first->back());
    }
    return !*found || add(folder, std::move(**found), std::move(*listed), std::move(index));
}

bool GitReachWalk::noteDotGits(const std::vector<fs::path>& dotGits, const std::vector<fs::path>& asked,
                               const std::vector<ProcessBatch::Outcome>& answers,
                               const std::optional<fs::path>& gitDir) {
    std::map<fs::path, bool> taken;
    for (std::size_t at = 0; at < asked.size(); ++at) {
        const auto& answer = answers[2 + at];
        if (!runs_.ended(answer, asked[at])) {
            return false;
        }
        taken[asked[at]] = answer->succeeded();
    }
    // A `.git` folder whose git directory git found takes no asking; one git found none in is asked now.
    std::vector<fs::path> late;
    std::vector<ProcessRequest> requests;
    for (const auto& dotGit : dotGits) {
        if (taken.contains(dotGit)) {
            continue;
        }
        if (gitDir && PathInFolder::resolved(dotGit) == PathInFolder::resolved(*gitDir)) {
            taken[dotGit] = true;
        } else {
            late.push_back(dotGit);
            requests.push_back(
                requests_.resolvedGitDir(dotGit, requests_.base().workingDirectory.value_or(".")));
        }
    }
    const auto answered = runs_.runAll(requests);
    if (!answered) {
        return false;
    }
    for (std::size_t at = 0; at < late.size(); ++at) {
        if (!runs_.ended((*answered)[at], late[at])) {
            return false;
        }
        taken[late[at]] = (*answered)[at]->succeeded();
    }
    for (const auto& dotGit : dotGits) {
        result_.dotGits_.push_back({dotGit, taken[dotGit]});
        // git looks no further up than a repository it finds.
        if (taken[dotGit]) {
            break;
        }
    }
    return true;
}

// Adds the repository `candidate` led to, unless it is one already read: two gitlinks may share a git
// directory, and each work tree holds gitlinks of its own; a git directory found in a modules folder is
// read once.
bool GitReachWalk::add(const Candidate& candidate, Paths paths, Listed listed,
                       std::optional<ProcessBatch::Outcome> index) {
    const fs::path gitDir = PathInFolder::resolved(paths.gitDir);
    const fs::path workTree = paths.workTree ? PathInFolder::resolved(*paths.workTree) : fs::path();
    if (known_.contains({gitDir, workTree}) ||
        (candidate.via == Via::gitDir && knownGitDirs_.contains(gitDir))) {
        return true;
    }
    if (result_.repositories_.size() >= repositoryLimit) {
        return runs_.fail("too many repositories reach " + requests_.base().workingDirectory.value_or("."));
    }
    known_.emplace(gitDir, workTree);
    knownGitDirs_.insert(gitDir);
    if (index) {
        indexListings_.emplace(result_.repositories_.size(), std::move(*index));
    }
    GitReachedRepository repository{paths.gitDir,           paths.workTree,    std::move(listed.entries),
                                    candidate.path,         std::nullopt,      paths.remoteFolders,
                                    std::move(listed.text), paths.configFiles, paths.operationFolders};
    if (candidate.via == Via::workTree && namesWorkTree(repository.entries)) {
        repository.ownWorkTree = workTree == PathInFolder::resolved(candidate.path);
    }
    result_.repositories_.push_back(std::move(repository));
    reachedBy_.push_back(candidate);
    paths_.push_back(std::move(paths));
    return true;
}

// Reads each candidate's configuration and repository, all at once; a gitlink whose folder is gone
// leads nowhere.
bool GitReachWalk::visit(const std::vector<Candidate>& candidates) {
    std::vector<Candidate> asked;
    // Where each candidate's answers start, and whether its index was listed with them.
    std::vector<std::pair<std::size_t, bool>> answersOf;
    std::vector<std::shared_ptr<MappedText>> texts;
    std::vector<ProcessRequest> requests;
    for (const auto& candidate : candidates) {
        if (candidate.via == Via::gitDir && knownGitDirs_.contains(PathInFolder::resolved(candidate.path))) {
            continue;
        }
        const bool withIndex = likelyHoldsSubmodules(candidate);
        asked.push_back(candidate);
        answersOf.emplace_back(requests.size(), withIndex);
        requests.push_back(runs_.listingInto(candidate.path, candidate.via, texts.emplace_back()));
        requests.push_back(requests_.paths(candidate.path, candidate.via, true));
        if (withIndex) {
            requests.push_back(requests_.index(candidate.path, candidate.via));
        }
    }
    auto answers = runs_.runAll(requests);
    if (!answers) {
        return false;
    }
    std::vector<Candidate> notRepositories;
    for (std::size_t index = 0; index < asked.size(); ++index) {
        const Candidate& candidate = asked[index];
        const auto [at, withIndex] = answersOf[index];
        const auto& listing = (*answers)[at];
        if (!listing && (listing.error().code == ENOENT || listing.error().code == ENOTDIR)) {
            continue;
        }
        if (!runs_.ended(listing, candidate.path)) {
            return false;
        }
        if (!listing->succeeded()) {
            const std::string complaint = GitRepositoryTexts::complaint(listing->errorOutput);
            return runs_.fail(complaint.empty()
                                  ? "the configuration of " + candidate.path.string() + " could not be read"
                                  : complaint);
        }
        auto listed = runs_.parsed(std::move(texts[index]));
        if (!listed) {
            return false;
        }
        const auto found = runs_.find(candidate, (*answers)[at + 1], listed->entries);
        if (!found) {
            return false;
        }
        if (!*found) {
            if (candidate.via == Via::gitDir) {
                notRepositories.push_back(candidate);
            }
            continue;
        }
        std::optional<ProcessBatch::Outcome> indexListing;
        if (withIndex) {
            indexListing = std::move((*answers)[at + 2]);
        }
        if (!add(candidate, std::move(**found), std::move(*listed), std::move(indexListing))) {
            return false;
        }
    }
    // A folder of a modules folder that git does not take for a repository may hold one below it.
    std::vector<Candidate> below;
    for (const auto& folder : notRepositories) {
        if (!followModules(folder.path, folder.parent, below)) {
            return false;
        }
    }
    return below.empty() || visit(below);
}

// For each repository from `from` on that was found by its git directory, or is the folder's own, and
// names a work tree in its configuration: whether that work tree is its own.
bool GitReachWalk::checkOwnWorkTrees(std::size_t from) {
    std::vector<std::size_t> asked;
    std::vector<ProcessRequest> requests;
    for (std::size_t index = from; index < result_.repositories_.size(); ++index) {
        const auto& repository = result_.repositories_[index];
        const Candidate& by = reachedBy_[index];
        if (by.via == Via::workTree || !namesWorkTree(repository.entries)) {
            continue;
        }
        if (by.via == Via::folder && !repository.workTree) {
            // Without a work tree the setting has nothing to name.
            result_.repositories_[index].ownWorkTree = true;
            continue;
        }
        asked.push_back(index);
        if (by.via == Via::folder) {
            // The top of the work tree must lead git back to this repository.
            requests.push_back(requests_.paths(*repository.workTree, Via::folder, true));
        } else {
            requests.push_back(requests_.git({"rev-parse", "--path-format=absolute", "--show-toplevel"},
                                             by.path, Via::gitDir));
        }
    }
    const auto answers = runs_.runAll(requests);
    if (!answers) {
        return false;
    }
    for (std::size_t at = 0; at < asked.size(); ++at) {
        const std::size_t index = asked[at];
        auto& repository = result_.repositories_[index];
        const auto& answer = (*answers)[at];
        if (!answer && answer.error().code == ENOENT) {
            repository.ownWorkTree = false;
            continue;
        }
        if (!runs_.ended(answer, repository.listedIn)) {
            return false;
        }
        const std::string top = GitRepositoryTexts::line(answer->output);
        if (reachedBy_[index].via == Via::folder) {
            // Every field of the request, the git directory first and the work tree's top last.
            const auto fields =
                GitRepositoryTexts::lines(answer->output, GitReachRequests::pathCount(Via::folder, true));
            repository.ownWorkTree =
                answer->succeeded() && fields &&
                PathInFolder::resolved(fields->front()) == PathInFolder::resolved(repository.gitDir) &&
                PathInFolder::resolved(fields->back()) == PathInFolder::resolved(*repository.workTree);
        } else {
            const auto& gitlinks = gitlinkTrees_[reachedBy_[index].parent];
            repository.ownWorkTree =
                answer->succeeded() && top.starts_with('/') && gitlinks.contains(PathInFolder::resolved(top));
        }
    }
    return true;
}

std::optional<bool> GitReachWalk::mayHoldGitlink(std::size_t repository) {
    // The index git names, and any shared index a split index keeps beside the git directory's files.
    return GitIndexGitlinks::mayHold(paths_[repository].index, paths_[repository].gitDir,
                                     [this] { return runs_.expired(); });
}

// The work trees of the gitlinks of each repository from `from` on. An index searched first for a
// gitlink's mode costs no git run where it holds none.
bool GitReachWalk::followGitlinks(std::size_t from, std::vector<Candidate>& workTrees) {
    std::vector<std::size_t> asked;
    std::vector<ProcessRequest> requests;
    std::vector<std::size_t> listed;
    for (std::size_t index = from; index < result_.repositories_.size(); ++index) {
        const auto& repository = result_.repositories_[index];
        if (!repository.workTree) {
            continue;
        }
        const auto holds = mayHoldGitlink(index);
        if (!holds) {
            return false;
        }
        if (!*holds) {
            continue;
        }
        if (indexListings_.contains(index)) {
            listed.push_back(index);
        } else {
            asked.push_back(index);
            requests.push_back(requests_.index(
                *repository.workTree, reachedBy_[index].via == Via::folder ? Via::folder : Via::workTree));
        }
    }
    auto answers = runs_.runAll(requests);
    if (!answers) {
        return false;
    }
    for (std::size_t at = 0; at < asked.size(); ++at) {
        indexListings_.emplace(asked[at], std::move((*answers)[at]));
    }
    listed.insert(listed.end(), asked.begin(), asked.end());
    for (const std::size_t index : listed) {
        const fs::path& top = *result_.repositories_[index].workTree;
        const auto answer = std::move(indexListings_.at(index));
        if (!runs_.ended(answer, top)) {
            return false;
        }
        if (!answer->succeeded()) {
            return runs_.fail("the index of " + result_.repositories_[index].gitDir.string() +
                              " could not be read");
        }
        std::string_view listing = answer->output;
        while (!listing.empty()) {
            const std::size_t end = std::min(listing.find('\0'), listing.size());
            const std::string_view line = listing.substr(0, end);
            listing.remove_prefix(std::min(end + 1, listing.size()));
            const std::size_t tab = line.find('\t');
            if (GitRepositoryTexts::listsGitlink(line) && tab != std::string_view::npos) {
                if (workTrees.size() >= workTreeLimit) {
                    return runs_.fail("too many submodules reach " +
                                      requests_.base().workingDirectory.value_or("."));
                }
                const fs::path workTree = top / line.substr(tab + 1);
                gitlinkTrees_[index].insert(PathInFolder::resolved(workTree));
                workTrees.push_back({Via::workTree, workTree, index});
            }
        }
    }
    // What a look at a repository listed and nobody asked for (no gitlink, or no work tree) goes too.
    std::erase_if(indexListings_,
                  [&](const auto& listing) { return listing.first < result_.repositories_.size(); });
    return true;
}

// The linked worktrees inside the folder of each repository from `from` on: git reads a worktree's own
// settings (its config.worktree) only there. One outside the folder is another folder, as another
// repository is.
bool GitReachWalk::followWorktrees(std::size_t from, std::vector<Candidate>& workTrees) {
    std::vector<std::size_t> asked;
    std::vector<ProcessRequest> requests;
    for (std::size_t index = from; index < result_.repositories_.size(); ++index) {
        std::error_code error;
        const fs::path& folder = paths_[index].worktrees;
        if (fs::symlink_status(folder, error).type() == fs::file_type::not_found ||
            !listedWorktrees_.insert(PathInFolder::resolved(folder)).second) {
            continue;
        }
        asked.push_back(index);
        requests.push_back(requests_.worktrees(reachedBy_[index].path, reachedBy_[index].via));
    }
    const auto answers = runs_.runAll(requests);
    if (!answers) {
        return false;
    }
    const fs::path folder = PathInFolder::resolved(requests_.base().workingDirectory.value_or("."));
    for (std::size_t at = 0; at < asked.size(); ++at) {
        const auto& answer = (*answers)[at];
        const auto& gitDir = result_.repositories_[asked[at]].gitDir;
        if (!runs_.ended(answer, gitDir)) {
            return false;
        }
        if (!answer->succeeded()) {
            return runs_.fail("the worktrees of " + gitDir.string() + " could not be listed");
        }
        std::string_view listing = answer->output;
        while (!listing.empty()) {
            const std::size_t end = std::min(listing.find('\0'), listing.size());
            const std::string_view line = listing.substr(0, end);
            listing.remove_prefix(std::min(end + 1, listing.size()));
            constexpr std::string_view prefix = "worktree ";
            if (!line.starts_with(prefix)) {
                continue;
            }
            const fs::path workTree(line.substr(prefix.size()));
            const fs::path where = PathInFolder::resolved(workTree);
            const bool known = std::any_of(known_.begin(), known_.end(), [&](const auto& repository) {
                return repository.second == where;
            });
            if (!PathInFolder::inside(where.native(), folder.native()) || known) {
                continue;
            }
            if (workTrees.size() >= workTreeLimit) {
                return runs_.fail("too many worktrees reach " +
                                  requests_.base().workingDirectory.value_or("."));
            }
            workTrees.push_back({Via::workTree, workTree, asked[at]});
        }
    }
    return true;
}

// Every repository kept under `folder` (a modules folder, or a folder in one), as a candidate.
bool GitReachWalk::followModules(const fs::path& folder, std::size_t parent,
                                 std::vector<Candidate>& gitDirs) {
    std::vector<fs::path> found;
    if (auto failure = modulesFolders_.collect(folder, found)) {
        return runs_.fail(std::move(*failure));
    }
    for (auto& path : found) {
        gitDirs.push_back({Via::gitDir, std::move(path), parent});
    }
    return true;
}

std::optional<std::string> GitReachWalk::walk() {
    if (!readFolder() || !checkOwnWorkTrees(0)) {
        return runs_.error();
    }
    std::size_t from = 0;
    while (from < result_.repositories_.size()) {
        const std::size_t level = result_.repositories_.size();
        std::vector<Candidate> workTrees;
        std::vector<Candidate> gitDirs;
        if (!followGitlinks(from, workTrees) || !followWorktrees(from, workTrees)) {
            return runs_.error();
        }
        for (std::size_t index = from; index < level; ++index) {
            if (!followModules(paths_[index].modules, index, gitDirs)) {
                return runs_.error();
            }
        }
        // Submodules by their work trees first: a git directory they lead to is not read again.
        if (!visit(workTrees) || !visit(gitDirs) || !checkOwnWorkTrees(level)) {
            return runs_.error();
        }
        from = level;
    }
    return std::nullopt;
}

} // namespace korvane