#include "providers/shellcommandrunner.h"

#include "base/diagnostics.h"
#include "base/unicode.h"
#include "platform/gitprogramoverrides.h"

#include <algorithm>
#include <chrono>

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

} // namespace

ShellCommandRunner::ShellCommandRunner(std::shared_ptr<ProcessRunner> processRunner)
    : processRunner_(std::move(processRunner)) {}

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
        if (!addGitOverrides(run)) {
            return RunResult{-1, {}};
        }
        timeout -= std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    ProcessRequest request;
    request.executable = "/bin/sh";
    request.arguments = {"-c", run.command};
    request.workingDirectory = run.projectRoot;
    request.environment = std::move(run.environment);
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

bool ShellCommandRunner::addGitOverrides(Run& run) {
    ProcessRequest listing;
    listing.executable = GitProgramOverrides::gitExecutable;
    listing.arguments = GitProgramOverrides::listingArguments();
    listing.workingDirectory = run.projectRoot;
    // The same environment as the command's, so that git finds the same repository and settings.
    listing.environment = run.environment;
    listing.timeout = run.timeout;
    listing.killGrace = kListingGrace;
    listing.cancellation = run.cancellation;
    auto overrides = GitProgramOverrides::read(*processRunner_, listing);
    if (!overrides) {
        if (run.reportFailure) {
            diagnostic("[GIT EXEC FAILED] cwd=" + run.projectRoot + " error=" + overrides.error() +
                       ": shell command '" + run.command + "' not run");
        }
        return false;
    }
    for (auto& variable : overrides->environment()) {
        run.environment.push_back(std::move(variable));
    }
    return true;
}

} // namespace korvane
