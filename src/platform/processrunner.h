#pragma once

#include "base/cancellationtoken.h"
#include "base/expected.h"
#include "base/outputbudget.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

// What to start and under which limits. The program runs from its absolute path with exactly these
// arguments; a shell is involved only when the caller names one ("/bin/sh" with "-c").
struct ProcessRequest {
    enum class ErrorOutput { discard, capture };

    std::string executable;
    std::vector<std::string> arguments;
    // Unset: the caller's working directory. A directory that cannot be entered fails the launch.
    std::optional<std::string> workingDirectory;
    // Added to a copy of the program's environment, each replacing an inherited variable of that name.
    std::vector<std::pair<std::string, std::string>> environment;
    // Inherited variables left out of the child's environment.
    std::vector<std::string> removedEnvironment;
    // False: the child inherits nothing of Korvane's environment and gets `environment` alone (and
    // the runner's own mark of the run, by which it finds what the run leaves behind).
    bool inheritEnvironment = true;
    // Seconds from the launch until the process group is asked to terminate.
    double timeout = 10.0;
    // Seconds between the terminate request to the group and the kill.
    double killGrace = 1.0;
    // Standard output beyond this many bytes kills the group and fails the run.
    std::size_t outputLimit = 16 * 1024 * 1024;
    ErrorOutput errorOutput = ErrorOutput::discard;
    // Standard error beyond this many bytes is read and dropped.
    std::size_t errorOutputLimit = 64 * 1024;
    // Cancelling it from another thread ends the run as the deadline would.
    std::optional<CancellationToken> cancellation;
    // Shared with other runs: the room the run keeps its standard output and error output in is taken
    // from it too, and a run that finds too little left ends as one past `outputLimit`.
    std::optional<OutputBudget> outputBudget;
    // Where set, standard output goes to it piece by piece as it arrives, an empty piece once it has
    // ended, with the run's `output` to keep what it chooses of it: neither `outputLimit` nor the budget
    // applies, the receiver keeps its own account. Returning false ends the run as one past its output
    // limit. Called on the thread that runs the request.
    std::function<bool(std::string_view piece, std::string& output)> onOutput;
};

// How a run ended and what the process printed.
struct ProcessResult {
    enum class Ending {
        // The process ended by itself and its output was read to the end.
        exited,
        // The process was ended by a signal that was not ours.
        signaled,
        // The deadline came first (also when the process ended but its output pipe stayed open).
        timedOut,
        outputLimitExceeded,
        cancelled,
    };

    Ending ending = Ending::exited;
    // The termination status as callers see it: the exit code of a process that ended by itself,
    // the signal number of one that a signal ended. A run cut off by the deadline or a cancellation
    // reports SIGTERM's number (15) and one stopped at the output limit SIGKILL's (9), whatever the
    // process itself returned, so that cut-off output never passes for a good result.
    int status = 0;
    std::string output;
    std::string errorOutput;
    // Whether the process (the group's first member) still had not ended when the run returned; it
    // is then reaped in the background.
    bool stillRunning = false;

    bool succeeded() const { return ending == Ending::exited && status == 0; }
};

// Why a process could not be started: the system's error number and its text.
struct ProcessLaunchError {
    int code = 0;
    std::string description;
};

// Starts child processes and waits for them with a deadline. Every child gets its own process
// group, standard input from the null device, close-on-exec pipes, and is reaped. Implementations
// are safe to call from any number of threads at once; `run` blocks the calling thread.
class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;

    // Runs the process to its end, or until the deadline, the output limit or a cancellation; then
    // returns within `killGrace` seconds whether or not the output pipe was closed.
    virtual Expected<ProcessResult, ProcessLaunchError> run(const ProcessRequest& request) = 0;
};

} // namespace korvane
