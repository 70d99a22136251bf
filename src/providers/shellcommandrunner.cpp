#include "providers/shellcommandrunner.h"

#include "base/diagnostics.h"
#include "base/unicode.h"

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
                                                      const std::string& projectRoot, double timeout) {
    ScanPermit permit(scanPermits_);
    return execute(command, projectRoot, {{"PROJECT_ROOT", projectRoot}}, timeout, true);
}

ShellCommandRunner::RunResult ShellCommandRunner::runLive(const std::string& command,
                                                          const std::string& projectRoot,
                                                          const std::string& query, const std::string& bundleID,
                                                          const std::string& appName, bool caseSensitive,
                                                          double timeout,
                                                          std::optional<CancellationToken> cancellation) {
    return execute(command, projectRoot,
                   {
                       {"PROJECT_ROOT", projectRoot},
                       {"KORVANE_QUERY", query},
                       {"KORVANE_APP_BUNDLE_ID", bundleID},
                       {"KORVANE_APP_NAME", appName},
                       {"KORVANE_CASE_SENSITIVE", caseSensitive ? "1" : "0"},
                   },
                   timeout, false, std::move(cancellation));
}

ShellCommandRunner::RunResult
ShellCommandRunner::execute(const std::string& command, const std::string& projectRoot,
                            std::vector<std::pair<std::string, std::string>> environment, double timeout,
                            bool reportLaunchFailure, std::optional<CancellationToken> cancellation) {
    ProcessRequest request;
    request.executable = "/bin/sh";
    request.arguments = {"-c", command};
    request.workingDirectory = projectRoot;
    request.environment = std::move(environment);
    request.timeout = timeout;
    request.killGrace = kTerminationGrace;
    request.cancellation = std::move(cancellation);
    auto result = processRunner_->run(request);
    if (!result) {
        if (reportLaunchFailure) {
            diagnostic("Shell command failed for '" + command + "': " + result.error().description);
        }
        return RunResult{-1, {}};
    }
    RunResult run{result->status, std::move(result->output)};
    if (!isValidUtf8(run.output)) {
        run.output.clear();
    }
    return run;
}

} // namespace korvane
