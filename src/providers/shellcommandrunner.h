#pragma once

#include "platform/processrunner.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <semaphore>
#include <string>

namespace korvane {

class UntrustedFolderGitCache;

// Runs the command of a custom provider with "/bin/sh -c" in a project root and hands back its
// status and standard output. In a folder the user has not trusted, git run by the command would run
// the programs the folder names; so the command runs there only where git itself, the first git on the
// PATH, lists nothing in what the command can reach that the allow-list does not allow
// (UntrustedFolderGit), and then without the folder's hooks and the remotes that run commands; there
// its search path (the reading's too) keeps none of the empty or relative entries that name the folder.
// Where git does list something else, or cannot list it, the command waits for the user to trust the
// folder and a line says why; the runner keeps that reason per root for the question that offers the
// folder's trust. With no git there is nothing to read. A decision is kept while nothing it was read
// from changed, and commands asking at once share one reading (UntrustedFolderGitCache). At most two scan
// runs go at once per runner (the application keeps one runner); live runs are not limited. Any thread; both
// entry points block until the command has ended or its time-out cut it off.
class ShellCommandRunner {
public:
    // Whether the root a command starts in is a project the user trusted.
    enum class Folder { untrusted, trusted };

    struct RunResult {
        // The termination status, or -1 when the command was not started.
        std::int32_t status = -1;
        // Standard output as UTF-8; empty when the bytes are not valid UTF-8.
        std::string output;
        // Set when the command was not started because it waits for the trust of the folder: what in the
        // folder keeps it waiting (a file and the setting it holds, or why git could not list them).
        std::optional<std::string> waitingReason;

        bool operator==(const RunResult&) const = default;
    };

    static constexpr std::ptrdiff_t kScanPermits = 2;
    // Seconds between the terminate request at the time-out and the kill.
    static constexpr double kTerminationGrace = 1.0;
    // The same for the reading of a repository's configuration before a command.
    static constexpr double kListingGrace = 0.2;

    explicit ShellCommandRunner(std::shared_ptr<ProcessRunner> processRunner);

    RunResult run(const std::string& command, const std::string& projectRoot, double timeout,
                  Folder folder = Folder::untrusted);
    RunResult runLive(const std::string& command, const std::string& projectRoot, const std::string& query,
                      const std::string& bundleID, const std::string& appName, bool caseSensitive,
                      double timeout, Folder folder = Folder::untrusted,
                      std::optional<CancellationToken> cancellation = {});

    // What keeps the user's commands waiting for the trust of `projectRoot`, as the last command refused
    // there found it; none once a command ran there again, or when none was refused.
    std::optional<std::string> waitingReason(const std::string& projectRoot) const;

private:
    struct Run {
        std::string command;
        std::string projectRoot;
        std::vector<std::pair<std::string, std::string>> environment;
        double timeout = 0;
        Folder folder = Folder::untrusted;
        // Scan runs say why they did not start; live runs, one per keystroke, keep quiet.
        bool reportFailure = false;
        std::optional<CancellationToken> cancellation;
    };

    RunResult execute(Run run);
    // Adds the search path and settings for a folder not trusted to the run's environment; the reason,
    // after saying it for a scan run, when the command waits for the folder's trust instead.
    std::optional<std::string> addGitOverrides(Run& run);
    void noteWaiting(const std::string& projectRoot, std::optional<std::string> reason);

    std::shared_ptr<ProcessRunner> processRunner_;
    const std::shared_ptr<UntrustedFolderGitCache> readings_;
    std::counting_semaphore<kScanPermits> scanPermits_{kScanPermits};
    mutable std::mutex waitingLock_;
    // Guarded by waitingLock_: per project root, what keeps commands there waiting for its trust.
    std::map<std::string, std::string> waiting_;
};

} // namespace korvane
