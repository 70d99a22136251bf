#pragma once

#include "platform/processrunner.h"

namespace korvane {

// Starts children with posix_spawn in a process group of their own and waits for them with poll
// over their output pipes and a pidfd, so one thread both drains the output and keeps the deadline.
// Stateless; any thread may call it, and several at once.
class LinuxProcessRunner final : public ProcessRunner {
public:
    Expected<ProcessResult, ProcessLaunchError> run(const ProcessRequest& request) override;
};

} // namespace korvane
