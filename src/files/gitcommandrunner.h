#pragma once

#include "files/commandrunner.h"
#include "files/gitnorepositoryfolders.h"
#include "gitguard/gitprogramoverrides.h"
#include "platform/processrunner.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Runs git as a child process through the shared process runner: a fixed executable, a deadline fixed
// before the launch, output drained while git runs, and nothing at all returned unless git ended by
// itself in time with status 0 and printed valid UTF-8. A repository can come with its own `.git`
// folder and name programs there, so git never runs one: every command line turns off the file-system
// monitor and signature checks, each run first reads the repository's configuration and switches off
// the programs it names (GitProgramOverrides), `status` takes no optional locks and leaves
// submodules alone, and the environment cannot point git at another repository or make it prompt.
// Commands that list file names (ls-files, status, log) run only where the repository's work tree
// holds the folder (GitWorkTree), so a `.git` naming another repository lists nothing of it; a folder
// that no repository holds is answered so without git until the folder changes (GitNoRepositoryFolders,
// shared by a runner's copies). The overrides of a folder are read once per change of its configuration
// (GitProgramOverridesCache). Any thread, any number of calls at once.
class GitCommandRunner {
public:
    enum class Mode {
        // Every failure writes one error line under "GitCommandRunner"; a run past its limit is
        // asked to end and given 200 ms before the call returns.
        logged,
        // No log lines and standard error discarded; a run past its limit is given up almost at once.
        // For the git sources that keep quiet about failures.
        quiet,
    };

    static constexpr const char* defaultExecutable = GitProgramOverrides::gitExecutable;
    static constexpr double terminationGrace = 0.2;
    static constexpr double quietTerminationGrace = 0.02;
    // Listings of very large repositories run to tens of megabytes.
    static constexpr std::size_t outputLimit = 512 * 1024 * 1024;

    explicit GitCommandRunner(std::shared_ptr<ProcessRunner> processRunner, Mode mode = Mode::logged,
                              std::string executable = defaultExecutable);

    // The lines git printed, or none and why: git missing from its path, no repository or a work
    // tree that is not the folder's own (for the commands that list file names), a run past its time,
    // or any other failure.
    GitOutput run(const std::vector<std::string>& arguments, const std::string& directory,
                  double timeout) const;

    // `run` as a CommandRunner that keeps this runner's process runner alive.
    CommandRunner commandRunner() const;

    // The whole argument list handed to git for `arguments`.
    static std::vector<std::string> commandLine(const std::vector<std::string>& arguments);

    // The process request of one run with the repository's programs overridden.
    ProcessRequest request(const std::vector<std::string>& arguments, const std::string& directory,
                           double timeout, const GitProgramOverrides& overrides = {}) const;

private:
    // The lines of a run that succeeded, printing valid UTF-8; nothing logged.
    GitOutput quietLines(const std::vector<std::string>& arguments, const std::string& directory,
                         double timeout, const GitProgramOverrides& overrides) const;
    // Why git may not list the names of `directory`'s files (GitWorkTree); none when it may.
    std::optional<GitFailure> workTreeRefusal(const std::string& directory, double timeout,
                                              const GitProgramOverrides& overrides) const;
    // The failure of a run that could not be launched: whether git is there at all decides.
    GitFailure launchFailure() const;
    // The overrides for the repository at `directory`, or the reason they could not be read.
    Expected<GitProgramOverrides, std::string> programOverrides(const std::string& directory,
                                                                double timeout) const;

    std::shared_ptr<ProcessRunner> processRunner_;
    std::shared_ptr<GitNoRepositoryFolders> noRepository_ = std::make_shared<GitNoRepositoryFolders>();
    Mode mode_;
    std::string executable_;
};

// The non-empty pieces of `text` split on "\n", in order and untrimmed.
std::vector<std::string> nonEmptyLines(std::string_view text);

// `lines` as one text, each followed by "\n".
std::string joinedLines(const std::vector<std::string>& lines);

} // namespace korvane
