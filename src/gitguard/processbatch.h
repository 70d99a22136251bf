#pragma once

#include "platform/processrunner.h"

#include <chrono>
#include <cstddef>
#include <vector>

namespace korvane {

// Runs a set of independent requests through one ProcessRunner, several at a time, and hands the
// results back in the order of the requests, all within one deadline: a request started late gets only
// what is left of it, and one not started by then ends as timed out without a process. One whose
// output budget another run found spent ends, without a process, as past its output limit. Blocks the
// calling thread until every run has ended; any thread.
class ProcessBatch {
public:
    using Outcome = Expected<ProcessResult, ProcessLaunchError>;

    // At most this many children of one batch run at once.
    static constexpr std::size_t parallelLimit = 8;

    static std::vector<Outcome> runAll(ProcessRunner& runner, const std::vector<ProcessRequest>& requests,
                                       std::chrono::steady_clock::time_point deadline);
};

} // namespace korvane
