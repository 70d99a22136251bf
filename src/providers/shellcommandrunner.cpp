#include "providers/shellcommandrunner.h"

#include "base/diagnostics.h"
#include "base/unicode.h"
#include "gitguard/gitrepositorytexts.h"
#include "gitguard/pathinfolder.h"
#include "gitguard/untrustedfoldergit.h"
#include "gitguard/untrustedfoldergitcache.h"
#include "providers/programonpath.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string_view>

namespace korvane {
namespace {

// Holds one scan permit for its lifetime, so every way out of a run gives it back.
class ScanPermit {
public:
    explicit ScanPermit(std::counting_semaphore<ShellCommandRunner::kScanPermits>& permits)
        : permits_(permits) {
        permits_.acquire();
    }
    ~ScanPermit() { permits_.release(); }
    ScanPermit(const ScanPermit&) = delete;
    ScanPermit& operator=(const ScanPermit&) = delete;

private:
    std::counting_semaphore<ShellCommandRunner::kScanPermits>& permits_;
};

// A search path that finds no program at all.
constexpr std::string_view noSearchPath = "/dev/null";

// The search path of a command in `root`, a folder not trusted, which Korvane's reading uses too: the
// user's without the entries that name a place in the folder (empty and relative ones, and absolute ones
// that lead into it, also through a link) or another place for every program (/proc/self/cwd).
std::string searchPathOutsideFolder(const std::string& root) {
    const std::string path = ProgramOnPath::korvaneSearchPath();
    std::string_view entries = path;
    const std::filesystem::path top =
        PathInFolder::real(root).value_or(std::filesystem::path(root).lexically_normal());
    std::string kept;
    while (!entries.empty()) {
        const std::size_t colon = std::min(entries.find(':'), entries.size());
        const std::string entry(entries.substr(0, colon));
        entries.remove_prefix(std::min(colon + 1, entries.size()));
        if (!entry.starts_with('/') || PathInFolder::mayLeadInto(entry, top)) {
            continue;
        }
        kept.append(kept.empty() ? "" : ":").append(entry);
    }
    return kept.empty() ? std::string(noSearchPath) : kept;
}

// Variables left out of the reading and the command alike: GIT_CONFIG would make `git config --list`
// read another file than the command's git reads, and git reads GIT_CONFIG_PARAMETERS after the
// settings Korvane hands the command, which it would outrank (a hooks folder in the folder, the local
// transport allowed).
const std::vector<std::string> hiddenConfiguration = {"GIT_CONFIG", "GIT_CONFIG_PARAMETERS"};
// The most of a reason that a line or the trust box shows: each name and value in it is cut already.
constexpr std::size_t reasonLimit = 2000;

} // namespace

ShellCommandRunner::ShellCommandRunner(std::shared_ptr<ProcessRunner> processRunner)
    : processRunner_(std::move(processRunner))
    , readings_(std::make_shared<UntrustedFolderGitCache>()) {}

ShellCommandRunner::RunResult ShellCommandRunner::run(const std::string& command,
                                                      const std::string& projectRoot, double timeout,
                                                      Folder folder) {
    ScanPermit permit(scanPermits_);
    return execute(Run{.command = command,
                       .projectRoot = projectRoot,
                       .environment = {{"PROJECT_ROOT", projectRoot}},
                       .timeout = timeout,
                       .folder = folder,
                       .reportFailure = true});
}

ShellCommandRunner::RunResult
ShellCommandRunner::runLive(const std::string& command, const std::string& projectRoot,
                            const std::string& query, const std::string& bundleID, const std::string& appName,
                            bool caseSensitive, double timeout, Folder folder,
                            std::optional<CancellationToken> cancellation) {
    return execute(Run{.command = command,
                       .projectRoot = projectRoot,
                       .environment =
                           {
                               {"PROJECT_ROOT", projectRoot},
                               {"KORVANE_QUERY", query},
                               {"KORVANE_APP_BUNDLE_ID", bundleID},
                               {"KORVANE_APP_NAME", appName},
                               {"KORVANE_CASE_SENSITIVE", caseSensitive ? "1" : "0"},
                           },
                       .timeout = timeout,
                       .folder = folder,
                       .reportFailure = false,
                       .cancellation = std::move(cancellation)});
}

ShellCommandRunner::RunResult ShellCommandRunner::execute(Run run) {
    double timeout = run.timeout;
    if (run.folder == Folder::untrusted) {
        const auto start = std::chrono::steady_clock::now();
        auto waiting = addGitOverrides(run);
        // A live query superseded while git was listing says nothing about the folder.
        if (!run.cancellation || !run.cancellation->isCancelled()) {
            noteWaiting(run.projectRoot, waiting);
        }
        if (waiting) {
            return RunResult{-1, {}, std::move(waiting)};
        }
        timeout -= std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } else {
        noteWaiting(run.projectRoot, std::nullopt);
    }
    ProcessRequest request;
    request.executable = "/bin/sh";
    request.arguments = {"-c", run.command};
    request.workingDirectory = run.projectRoot;
    request.environment = std::move(run.environment);
    if (run.folder == Folder::untrusted) {
        request.removedEnvironment = hiddenConfiguration;
    }
    request.timeout = std::max(0.0, timeout);
    request.killGrace = kTerminationGrace;
    request.cancellation = std::move(run.cancellation);
    auto result = processRunner_->run(request);
    if (!result) {
        if (run.reportFailure) {
            diagnostic("Shell command failed for '" + run.command + "': " + result.error().description);
        }
        return RunResult{-1, {}};
    }
    RunResult outcome{result->status, std::move(result->output)};
    if (!isValidUtf8(outcome.output)) {
        outcome.output.clear();
    }
    return outcome;
}

std::optional<std::string> ShellCommandRunner::waitingReason(const std::string& projectRoot) const {
    std::lock_guard guard(waitingLock_);
    if (auto found = waiting_.find(projectRoot); found != waiting_.end()) {
        return found->second;
    }
    return std::nullopt;
}

void ShellCommandRunner::noteWaiting(const std::string& projectRoot, std::optional<std::string> reason) {
    std::lock_guard guard(waitingLock_);
    if (reason) {
        waiting_[projectRoot] = std::move(*reason);
    } else {
        waiting_.erase(projectRoot);
    }
}

std::optional<std::string> ShellCommandRunner::addGitOverrides(Run& run) {
    const std::string searchPath = searchPathOutsideFolder(run.projectRoot);
    run.environment.emplace_back("PATH", searchPath);
    std::error_code error;
    // A root that cannot be entered fails the command's own launch, which says so.
    if (!std::filesystem::is_directory(run.projectRoot, error)) {
        return std::nullopt;
    }
    // The git that the command's shell finds first.
    const auto gitPath = ProgramOnPath::firstOnPath("git", searchPath);
    // Without git there is no git to start a program.
    if (!gitPath) {
        return std::nullopt;
    }
    ProcessRequest reading;
    reading.executable = *gitPath;
    reading.workingDirectory = run.projectRoot;
    // The same environment as the command's, so that git finds the same repositories and settings.
    reading.environment = run.environment;
    reading.removedEnvironment = hiddenConfiguration;
    reading.timeout = run.timeout;
    reading.killGrace = kListingGrace;
    reading.cancellation = run.cancellation;
    auto git = readings_->read(*processRunner_, reading);
    if (!git) {
        const std::string reason = GitRepositoryTexts::shown(git.error(), reasonLimit);
        if (run.reportFailure) {
            diagnostic("[GIT EXEC FAILED] cwd=" + run.projectRoot + " error=" + reason +
                       "; trusting the folder (\"Trust this folder…\" in the tray) lets it run there: shell "
                       "command '" +
                       run.command + "' not run");
        }
        return reason;
    }
    for (auto& variable : git->environment()) {
        run.environment.push_back(std::move(variable));
    }
    return std::nullopt;
}

} // namespace korvane
