#pragma once

#include "config/providerfactories.h"
#include "files/commandrunner.h"
#include "platform/processrunner.h"

#include <memory>

namespace korvane {

// git for the ref and remote sources and the branch metadata: no log lines, standard error dropped,
// output drained while git runs, and a run past its limit given up at once and reaped later.
CommandRunner quietGitRunner(std::shared_ptr<ProcessRunner> processRunner);

// Installs the factories of the git branch and tag provider and of the git remote provider, which
// run git through `processRunner`. The factories hold the runner weakly and make nothing once it is
// gone; a provider they made keeps it for as long as it runs. Main thread.
void installGitProviderFactories(ProviderFactories& factories,
                                 const std::shared_ptr<ProcessRunner>& processRunner);

} // namespace korvane
