#include "files/gitproviderfactories.h"

#include "files/gitcommandrunner.h"
#include "files/gitrefprovider.h"
#include "files/gitremoteprovider.h"

#include <utility>

namespace korvane {

CommandRunner quietGitRunner(std::shared_ptr<ProcessRunner> processRunner) {
    return GitCommandRunner(std::move(processRunner), GitCommandRunner::Mode::quiet).commandRunner();
}

void installGitProviderFactories(ProviderFactories& factories,
                                 const std::shared_ptr<ProcessRunner>& processRunner) {
    const std::weak_ptr<ProcessRunner> weakRunner = processRunner;
    factories.gitRefs = [weakRunner](std::int64_t maxBranchAgeDays) -> ProviderFactories::Provider {
        auto runner = weakRunner.lock();
        if (!runner) {
            return nullptr;
        }
        return std::make_shared<GitRefProvider>(maxBranchAgeDays, quietGitRunner(std::move(runner)));
    };
    factories.gitRemotes = [weakRunner]() -> ProviderFactories::Provider {
        auto runner = weakRunner.lock();
        if (!runner) {
            return nullptr;
        }
        return std::make_shared<GitRemoteProvider>(quietGitRunner(std::move(runner)));
    };
}

} // namespace korvane
