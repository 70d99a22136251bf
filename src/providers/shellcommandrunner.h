#pragma once

#include "platform/processrunner.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <semaphore>
#include <string>

namespace korvane {

// Runs the command of a custom provider with "/bin/sh -c" in a project root and hands back its
// status and standard output. At most two scan runs go at once per runner (the application keeps
// one runner); live runs are not limited. Any thread; both entry points block until the command
// has ended or its time-out cut it off.
class ShellCommandRunner {
public:
    struct RunResult {
        // The termination status, or -1 when the command was not started.
        std::int32_t status = -1;
        // Standard output as UTF-8; empty when the bytes are not valid UTF-8.
        std::string output;

        bool operator==(const RunResult&) const = default;
    };

    static constexpr std::ptrdiff_t kScanPermits = 2;
    // Seconds between the terminate request at the time-out and the kill.
    static constexpr double kTerminationGrace = 1.0;

    explicit ShellCommandRunner(std::shared_ptr<ProcessRunner> processRunner);

    RunResult run(const std::string& command, const std::string& projectRoot, double timeout);
    RunResult runLive(const std::string& command, const std::string& projectRoot, const std::string& query,
                      const std::string& bundleID, const std::string& appName, bool caseSensitive,
                      double timeout, std::optional<CancellationToken> cancellation = {});

private:
    RunResult execute(const std::string& command, const std::string& projectRoot,
                      std::vector<std::pair<std::string, std::string>> environment, double timeout,
                      bool reportLaunchFailure, std::optional<CancellationToken> cancellation = {});

    std::shared_ptr<ProcessRunner> processRunner_;
    std::counting_semaphore<kScanPermits> scanPermits_{kScanPermits};
};

} // namespace korvane
