#include "platform/gitreachablewalk.h"

#include "base/fileio.h"
#include "platform/gitrepositorytexts.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <pwd.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;

// git itself stops at ten nested includes.
constexpr int includeDepthLimit = 10;
// Past these a folder fails the reading rather than make every command wait: a project with a few
// hundred submodules still reads within the time a scan run has.
constexpr std::size_t fileLimit = 1024;
constexpr std::size_t repositoryLimit = 256;
constexpr std::size_t moduleFolderLimit = 4096;
// The listing of an index runs to some hundred bytes per file: tens of megabytes in a large repository.
constexpr std::size_t indexListingLimit = 512 * 1024 * 1024;
// The longest attributes file, `.git` file or `commondir` file read.
constexpr std::size_t smallFileLimit = 1024 * 1024;

// The bytes of a regular file of at most `smallFileLimit` bytes; none for anything else, so that a
// FIFO or a device placed in the folder cannot hold the reading up.
std::optional<std::string> smallFileText(const fs::path& path) {
    auto text = readRegularFile(path, smallFileLimit);
    return text ? std::optional(std::move(*text)) : std::nullopt;
}

// The home folder of the user called `name`, none for one the system does not know.
std::optional<std::string> homeFolderOf(const std::string& name) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr) {
        return std::nullopt;
    }
    return std::string(found->pw_dir);
}

// Whether `path` lies within the folder `folder`, links resolved as far as they exist.
bool liesWithin(const fs::path& folder, const fs::path& path) {
    std::error_code error;
    const fs::path base = fs::weakly_canonical(folder, error);
    const fs::path target = fs::weakly_canonical(path, error);
    if (error) {
        return false;
    }
    const fs::path relative = target.lexically_relative(base);
    return !relative.empty() && relative != "." && *relative.begin() != "..";
}

} // namespace

GitReachableWalk::GitReachableWalk(ProcessRunner& runner, const ProcessRequest& base)
    : runner_(runner)
    , base_(base)
    , deadline_(std::chrono::steady_clock::now() +
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::duration<double>(std::max(0.0, base.timeout)))) {}

std::optional<ProcessResult>
GitReachableWalk::runGit(std::vector<std::string> arguments, const fs::path& directory,
                         std::vector<std::pair<std::string, std::string>> environment,
                         std::vector<std::string> removed, std::optional<std::size_t> outputLimit) {
    const double remaining =
        std::chrono::duration<double>(deadline_ - std::chrono::steady_clock::now()).count();
    if (expired()) {
        return std::nullopt;
    }
    ProcessRequest request = base_;
    request.arguments = std::move(arguments);
    request.workingDirectory = directory.string();
    for (auto& variable : environment) {
        request.environment.push_back(std::move(variable));
    }
    request.removedEnvironment.insert(request.removedEnvironment.end(), removed.begin(), removed.end());
    request.timeout = remaining;
    request.outputLimit = outputLimit.value_or(request.outputLimit);
    request.errorOutput = ProcessRequest::ErrorOutput::capture;
    auto outcome = runner_.run(request);
    if (!outcome) {
        fail(outcome.error().description);
        return std::nullopt;
    }
    switch (outcome->ending) {
    case ProcessResult::Ending::exited:
        return std::move(*outcome);
    case ProcessResult::Ending::outputLimitExceeded:
        fail("git printed more than can be read in " + directory.string());
        return std::nullopt;
    case ProcessResult::Ending::signaled:
        fail("git ended by a signal in " + directory.string());
        return std::nullopt;
    case ProcessResult::Ending::timedOut:
    case ProcessResult::Ending::cancelled:
        break;
    }
    fail("the configuration could not be read in time");
    return std::nullopt;
}

// git with none of the user's configuration, so that only the folder's own can make it fail, and
// with every repository taken as safe, so that it finds what the command's git may find.
std::optional<ProcessResult>
GitReachableWalk::runNeutralGit(std::vector<std::string> arguments, const fs::path& directory,
                                std::vector<std::pair<std::string, std::string>> environment,
                                std::optional<std::size_t> outputLimit) {
    environment.insert(environment.end(), {{"GIT_CONFIG_GLOBAL", "/dev/null"},
                                           {"GIT_CONFIG_NOSYSTEM", "1"},
                                           {"GIT_CONFIG_COUNT", "2"},
                                           {"GIT_CONFIG_KEY_0", "safe.directory"},
                                           {"GIT_CONFIG_VALUE_0", "*"},
                                           {"GIT_CONFIG_KEY_1", "core.fsmonitor"},
                                           {"GIT_CONFIG_VALUE_1", "false"}});
    return runGit(std::move(arguments), directory, std::move(environment),
                  {"GIT_CONFIG_PARAMETERS", "GIT_CONFIG"}, outputLimit);
}

bool GitReachableWalk::expired() {
    const bool cancelled = base_.cancellation && base_.cancellation->isCancelled();
    if (!cancelled && std::chrono::steady_clock::now() < deadline_) {
        return false;
    }
    fail("the configuration could not be read in time");
    return true;
}

// Whether the index file at `index` may hold a gitlink, searched a block at a time so that no index,
// however large, is held whole or read past the deadline; none when the deadline came first.
std::optional<bool> GitReachableWalk::mayHoldGitlink(const fs::path& index) {
    std::error_code error;
    if (!fs::is_regular_file(index, error)) {
        return false;
    }
    bool found = false;
    bool late = false;
    // The last bytes of the block before and the first of this one, for a mode across the two.
    std::string seam;
    const auto read = scanRegularFile(index, [&](std::string_view block) {
        if (expired()) {
            late = true;
            return false;
        }
        seam.append(block.substr(0, GitRepositoryTexts::gitlinkMode.size() - 1));
        found = GitRepositoryTexts::holdsGitlinkMode(seam) || GitRepositoryTexts::holdsGitlinkMode(block);
        seam.assign(
            block.substr(block.size() - std::min(block.size(), GitRepositoryTexts::gitlinkMode.size() - 1)));
        return !found;
    });
    if (late) {
        return std::nullopt;
    }
    // An index that cannot be read is left to git, which says whether it holds one.
    return found || !read;
}

std::optional<std::string> GitReachableWalk::variable(std::string_view name) const {
    for (auto it = base_.environment.rbegin(); it != base_.environment.rend(); ++it) {
        if (it->first == name) {
            return it->second;
        }
    }
    if (std::find(base_.removedEnvironment.begin(), base_.removedEnvironment.end(), name) !=
        base_.removedEnvironment.end()) {
        return std::nullopt;
    }
    const char* value = std::getenv(std::string(name).c_str());
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

// git reads "~/" from HOME and "~name/" from that user's home folder.
fs::path GitReachableWalk::includeTarget(std::string_view path, const fs::path& includingFile) const {
    if (path.starts_with('~')) {
        const std::size_t slash = std::min(path.find('/'), path.size());
        const std::string_view user = path.substr(1, slash - 1);
        const auto home = user.empty() ? variable("HOME") : homeFolderOf(std::string(user));
        if (home) {
            return fs::path(*home) / path.substr(std::min(slash + 1, path.size()));
        }
    }
    const fs::path target(path);
    return target.is_absolute() ? target : includingFile.parent_path() / target;
}

bool GitReachableWalk::readFile(const fs::path& path, int depth) {
    const fs::path file = path.lexically_normal();
    std::error_code error;
    const auto status = fs::status(file, error);
    if (!fs::exists(status)) {
        return true;
    }
    if (readFiles_.contains(file)) {
        return true;
    }
    if (readFiles_.size() >= fileLimit || depth > includeDepthLimit) {
        return fail("too many configuration files reach " + file.string());
    }
    if (!fs::is_regular_file(status)) {
        return fail("the configuration file " + file.string() + " could not be read");
    }
    readFiles_.insert(file);
    const auto outcome =
        runNeutralGit({"config", "--file", file.string(), "--no-includes", "-z", "--list"}, "/");
    if (!outcome) {
        return false;
    }
    if (!outcome->succeeded()) {
        return fail("the configuration file " + file.string() + " could not be read");
    }
    const auto entries = GitReachableConfig::parseEntries(outcome->output, false);
    entries_.insert(entries_.end(), entries.begin(), entries.end());
    return followIncludes(entries, file, depth + 1);
}

bool GitReachableWalk::followIncludes(const std::vector<GitConfigEntry>& entries,
                                      const fs::path& includingFile, int depth) {
    for (const auto& entry : entries) {
        if (!GitRepositoryTexts::isIncludeKey(entry.key) || !entry.value || entry.value->empty()) {
            continue;
        }
        const fs::path target = includeTarget(*entry.value, includingFile);
        includes_.push_back(target);
        // Includes of files that do not exist start no git run, which would look at the clock.
        if (expired() || !readFile(target, depth)) {
            return false;
        }
    }
    return true;
}

// The repository's own entries as git listed them: the files git read are known; an include whose
// condition did not hold is read here.
bool GitReachableWalk::followListed(const std::vector<GitConfigEntry>& listed) {
    std::vector<std::pair<GitConfigEntry, fs::path>> repositoryEntries;
    for (const auto& entry : listed) {
        if ((entry.scope == "local" || entry.scope == "worktree") && entry.origin.starts_with("file:")) {
            const fs::path origin(entry.origin.substr(5));
            const fs::path file = (origin.is_absolute() ? origin : folder() / origin).lexically_normal();
            readFiles_.insert(file);
            repositoryEntries.emplace_back(entry, file);
        }
    }
    for (const auto& [entry, file] : repositoryEntries) {
        entries_.push_back({{}, {}, entry.key, entry.value});
        if (GitRepositoryTexts::isIncludeKey(entry.key) && !followIncludes({entry}, file, 1)) {
            return false;
        }
    }
    return true;
}

// The repository git finds for the folder, none outside any, or no answer when git could not tell.
std::optional<std::optional<GitReachableWalk::Repository>> GitReachableWalk::discover() {
    const auto outcome =
        runNeutralGit({"rev-parse", "--is-inside-work-tree", "--absolute-git-dir", "--show-cdup"}, folder());
    if (!outcome) {
        return std::nullopt;
    }
    if (!outcome->succeeded()) {
        if (outcome->errorOutput.find("not a git repository") != std::string::npos) {
            return std::optional<Repository>();
        }
        const std::string reason = GitRepositoryTexts::complaint(outcome->errorOutput);
        fail(reason.empty() ? "the repository could not be read" : reason);
        return std::nullopt;
    }
    const auto found = GitRepositoryTexts::discovery(outcome->output);
    if (!found) {
        fail("the repository could not be read");
        return std::nullopt;
    }
    Repository repository{found->first, std::nullopt, std::nullopt};
    if (found->second) {
        repository.workTree = (folder() / *found->second).lexically_normal();
    }
    // git takes the common directory from the environment before the git directory's own file.
    if (const auto common = variable("GIT_COMMON_DIR")) {
        const fs::path named(*common);
        repository.commonDir = (named.is_absolute() ? named : folder() / named).lexically_normal();
    }
    return std::optional<Repository>(std::move(repository));
}

// A git directory is read once for each work tree it is found with: two gitlinks may share one, and
// each work tree holds repositories of its own. Found through a modules folder alone, it is read
// once, with the work tree a gitlink gives it where one does before it is read.
bool GitReachableWalk::addRepository(Repository repository) {
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(repository.gitDir, error);
    repository.gitDir = error ? repository.gitDir.lexically_normal() : canonical;
    for (std::size_t index = 0; index < pending_.size(); ++index) {
        Repository& known = pending_[index];
        if (known.gitDir != repository.gitDir) {
            continue;
        }
        if (!repository.workTree || known.workTree == repository.workTree) {
            return true;
        }
        if (!known.workTree && index > visiting_) {
            known.workTree = std::move(repository.workTree);
            return true;
        }
    }
    if (pending_.size() >= repositoryLimit) {
        return fail("too many repositories reach " + folder().string());
    }
    pending_.push_back(std::move(repository));
    return true;
}

bool GitReachableWalk::visit(const Repository& repository, bool top, bool filesListed, bool submodules) {
    fs::path commonDir = repository.commonDir.value_or(repository.gitDir);
    if (const auto common = smallFileText(repository.gitDir / "commondir"); common && !repository.commonDir) {
        const fs::path named(GitRepositoryTexts::pathInFile(*common));
        commonDir = (named.is_absolute() ? named : repository.gitDir / named).lexically_normal();
    }
    if (!filesListed) {
        for (const auto& file :
             {commonDir / "config", commonDir / "config.worktree", repository.gitDir / "config.worktree"}) {
            if (!readFile(file, 0)) {
                return false;
            }
        }
    }
    readAttributes(commonDir / "info" / "attributes");
    if (repository.workTree) {
        readAttributes(*repository.workTree / ".gitattributes");
    }
    if (!submodules) {
        return true;
    }
    if (repository.workTree && !addGitlinks(repository, top)) {
        return false;
    }
    return walkModules(commonDir / "modules");
}

// Submodule repositories kept in the modules folder, nested ones and names with slashes included.
bool GitReachableWalk::walkModules(const fs::path& modules) {
    std::error_code error;
    if (!fs::is_directory(modules, error)) {
        return true;
    }
    std::size_t folders = 0;
    std::vector<fs::path> pending{modules};
    while (!pending.empty()) {
        const fs::path folder = pending.back();
        pending.pop_back();
        const bool repository =
            fs::is_regular_file(folder / "HEAD", error) && fs::exists(folder / "config", error);
        if (repository) {
            if (!addRepository({folder, std::nullopt})) {
                return false;
            }
            continue;
        }
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            if (expired()) {
                return false;
            }
            if (it->is_directory(error) && !it->is_symlink(error)) {
                if (++folders > moduleFolderLimit) {
                    return fail("too many submodule folders under " + modules.string());
                }
                pending.push_back(it->path());
            }
        }
    }
    return true;
}

// The repositories that the gitlinks of the index hold in the work tree. The index is searched for
// a gitlink's mode first, so that an index without one costs no git run.
bool GitReachableWalk::addGitlinks(const Repository& repository, bool top) {
    std::vector<std::pair<std::string, std::string>> environment{
        {"GIT_DIR", repository.gitDir.string()}, {"GIT_WORK_TREE", repository.workTree->string()}};
    // The command's git reads the index its environment names; a submodule's git reads its own.
    fs::path index = repository.gitDir / "index";
    if (const auto named = variable("GIT_INDEX_FILE"); top && named && !named->empty()) {
        index = fs::path(*named).is_absolute() ? fs::path(*named) : folder() / *named;
    }
    environment.emplace_back("GIT_INDEX_FILE", index.string());
    std::vector<fs::path> indexFiles;
    if (index.parent_path() != repository.gitDir) {
        indexFiles.push_back(index);
    }
    std::error_code error;
    for (fs::directory_iterator it(repository.gitDir, error), end; !error && it != end; it.increment(error)) {
        if (expired()) {
            return false;
        }
        if (it->path() == index || it->path().filename().string().starts_with("sharedindex.")) {
            indexFiles.push_back(it->path());
        }
    }
    bool mayHoldGitlinks = false;
    for (const auto& file : indexFiles) {
        const auto holds = mayHoldGitlink(file);
        if (!holds) {
            return false;
        }
        if (*holds) {
            mayHoldGitlinks = true;
            break;
        }
    }
    if (!mayHoldGitlinks) {
        return true;
    }
    const auto outcome = runNeutralGit({"ls-files", "--stage", "-z"}, *repository.workTree,
                                       std::move(environment), indexListingLimit);
    if (!outcome) {
        return false;
    }
    if (!outcome->succeeded()) {
        return fail("the index of " + repository.gitDir.string() + " could not be read");
    }
    std::string_view listing = outcome->output;
    while (!listing.empty()) {
        const std::size_t end = std::min(listing.find('\0'), listing.size());
        const std::string_view line = listing.substr(0, end);
        listing.remove_prefix(std::min(end + 1, listing.size()));
        const std::size_t tab = line.find('\t');
        if (!line.starts_with("160000 ") || tab == std::string_view::npos) {
            continue;
        }
        const fs::path workTree = *repository.workTree / line.substr(tab + 1);
        const fs::path dotGit = workTree / ".git";
        if (fs::is_directory(dotGit, error)) {
            if (!addRepository({dotGit, workTree})) {
                return false;
            }
        } else if (const auto gitFile = smallFileText(dotGit); gitFile && gitFile->starts_with("gitdir: ")) {
            const fs::path named(GitRepositoryTexts::pathInFile(gitFile->substr(8)));
            if (!addRepository({named.is_absolute() ? named : workTree / named, workTree})) {
                return false;
            }
        }
    }
    return true;
}

void GitReachableWalk::readAttributes(const fs::path& path) {
    if (const auto text = smallFileText(path)) {
        GitRepositoryTexts::addAttributeDrivers(*text, attributeDrivers_);
    }
}

std::optional<std::string> GitReachableWalk::walk(const std::vector<GitConfigEntry>* listed,
                                                  GitReachableConfig::Reach reach) {
    if (listed && !followListed(*listed)) {
        return error_;
    }
    if (listed && reach == GitReachableConfig::Reach::repository) {
        return std::nullopt;
    }
    const auto top = discover();
    if (!top) {
        return error_;
    }
    if (!*top) {
        return std::nullopt;
    }
    const bool submodules = reach == GitReachableConfig::Reach::submodules;
    if (!addRepository(**top)) {
        return error_;
    }
    for (visiting_ = 0; visiting_ < pending_.size(); ++visiting_) {
        const Repository repository = pending_[visiting_];
        const bool first = visiting_ == 0;
        if (!visit(repository, first, first && listed != nullptr, submodules)) {
            return error_;
        }
    }
    if (submodules && !checkIncludesStayOutOfWorkTrees()) {
        return error_;
    }
    return std::nullopt;
}

bool GitReachableWalk::checkIncludesStayOutOfWorkTrees() {
    for (const auto& include : includes_) {
        for (const auto& repository : pending_) {
            if (repository.workTree && liesWithin(*repository.workTree, include) &&
                !liesWithin(repository.gitDir, include) &&
                !(repository.commonDir && liesWithin(*repository.commonDir, include))) {
                return fail("the configuration includes " + include.lexically_normal().string() +
                            " from the work tree, where a checkout can change it");
            }
        }
    }
    return true;
}

} // namespace korvane
