#include "gitguard/gitreachrequests.h"

#include "gitguard/gitconfiglisting.h"
#include "gitguard/gitlinkrecords.h"

#include <algorithm>
#include <memory>

namespace korvane {
namespace {

namespace fs = std::filesystem;

// Variables that name the folder's repository, which git leaves out of the environment of the git it
// starts for a submodule (`git rev-parse --local-env-vars`, less the two that carry configuration on).
const std::vector<std::string> repositoryVariables = {
    "GIT_ALTERNATE_OBJECT_DIRECTORIES",
    "GIT_CONFIG",
    "GIT_OBJECT_DIRECTORY",
    "GIT_DIR",
    "GIT_WORK_TREE",
    "GIT_IMPLICIT_WORK_TREE",
    "GIT_GRAFT_FILE",
    "GIT_INDEX_FILE",
    "GIT_NO_REPLACE_OBJECTS",
    "GIT_REPLACE_REF_BASE",
    "GIT_PREFIX",
    "GIT_INTERNAL_SUPER_PREFIX",
    "GIT_SHALLOW_FILE",
    "GIT_COMMON_DIR",
};

// The fields asked of `git rev-parse`, one value each, in the order of GitReachRequests::Field; a work
// tree's top comes last, since a repository without one fails on it.
const std::vector<std::vector<std::string>> repositoryFields = {
    {"--absolute-git-dir"},      {"--git-path", "modules"},      {"--git-path", "remotes"},
    {"--git-path", "branches"},  {"--git-path", "config"},       {"--git-path", "config.worktree"},
    {"--git-path", "worktrees"}, {"--git-path", "rebase-merge"}, {"--git-path", "rebase-apply"},
    {"--git-path", "sequencer"}, {"--git-path", "index"},        {"--show-toplevel"}};

std::vector<std::string> revParse(std::size_t first, std::size_t last) {
    std::vector<std::string> arguments{"rev-parse", "--path-format=absolute"};
    for (std::size_t field = first; field < last; ++field) {
        arguments.insert(arguments.end(), repositoryFields[field].begin(), repositoryFields[field].end());
    }
    return arguments;
}

} // namespace

GitReachRequests::GitReachRequests(const ProcessRequest& base, const OutputBudget& budget)
    : base_(base)
    , deadline_(std::chrono::steady_clock::now() +
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::duration<double>(std::max(0.0, base.timeout))))
    , budget_(budget.share()) {}

ProcessRequest GitReachRequests::git(std::vector<std::string> arguments, const fs::path& directory,
                                     Via via) const {
    ProcessRequest request = base_;
    // Every repository counts as safe, so that the reading finds what a command's git allowed to may find;
    // the index is read without the file-system monitor, which would start a program.
    request.arguments = {"-c", "safe.directory=*", "-c", "core.fsmonitor=false"};
    if (via == Via::gitDir) {
        request.arguments.push_back("--git-dir=" + directory.string());
    }
    request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
    request.workingDirectory = directory.string();
    // Answers and complaints in git's own words, whatever language the user reads.
    request.environment.emplace_back("LC_ALL", "C");
    request.removedEnvironment.push_back("LANGUAGE");
    if (usersHidden_) {
        request.environment.emplace_back("GIT_CONFIG_GLOBAL", "/dev/null");
        request.environment.emplace_back("GIT_CONFIG_NOSYSTEM", "1");
        request.removedEnvironment.insert(request.removedEnvironment.end(),
                                          {"GIT_CONFIG_PARAMETERS", "GIT_CONFIG_COUNT"});
    }
    if (via != Via::folder) {
        request.removedEnvironment.insert(request.removedEnvironment.end(), repositoryVariables.begin(),
                                          repositoryVariables.end());
    }
    request.timeout =
        std::max(0.0, std::chrono::duration<double>(deadline_ - std::chrono::steady_clock::now()).count());
    request.errorOutput = ProcessRequest::ErrorOutput::capture;
    request.outputBudget = budget_;
    return request;
}

ProcessRequest GitReachRequests::listing(const fs::path& directory, Via via) const {
    return git(GitConfigListing::arguments(), directory, via);
}

std::size_t GitReachRequests::pathCount(Via via, bool withTop) {
    // A git directory's own, else all but a work tree's top where there is none.
    const Field end = via == Via::gitDir ? Field::index : Field::top;
    return static_cast<std::size_t>(end) + (via != Via::gitDir && withTop ? 1 : 0);
}

ProcessRequest GitReachRequests::paths(const fs::path& directory, Via via, bool withTop) const {
    return git(revParse(0, pathCount(via, withTop)), directory, via);
}

ProcessRequest GitReachRequests::path(std::size_t field, const fs::path& directory, Via via) const {
    return git(revParse(field, field + 1), directory, via);
}

ProcessRequest GitReachRequests::resolvedGitDir(const fs::path& dotGit, const fs::path& directory) const {
    return git({"rev-parse", "--resolve-git-dir", dotGit.string()}, directory, Via::folder);
}

ProcessRequest GitReachRequests::worktrees(const fs::path& directory, Via via) const {
    return git({"worktree", "list", "--porcelain", "-z"}, directory, via);
}

ProcessRequest GitReachRequests::index(const fs::path& directory, Via via) const {
    ProcessRequest request = git({"ls-files", "--stage", "-z", "--full-name", ":/"}, directory, via);
    // The listing of an index runs to some hundred bytes per file, tens of megabytes in a large
    // repository: only its gitlinks are kept.
    request.onOutput = [records = std::make_shared<GitlinkRecords>(budget_)](
                           std::string_view piece, std::string& kept) { return records->add(piece, kept); };
    return request;
}

bool GitReachRequests::pastDeadline() const {
    const bool cancelled = base_.cancellation && base_.cancellation->isCancelled();
    return cancelled || std::chrono::steady_clock::now() >= deadline_;
}

} // namespace korvane
