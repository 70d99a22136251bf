#pragma once

#include "base/expected.h"
#include "gitguard/gitfolderreadings.h"
#include "gitguard/gitprogramoverrides.h"
#include "platform/processrunner.h"

#include <cstddef>
#include <string>

namespace korvane {

// The overrides of Korvane's own git runs in a folder, each kept for as long as nothing git's listing of
// the configuration there was read from changed: what decides the repository git finds, the environment
// git ran with, the user's and the system's files, and every configuration file the listing named or an
// include names (GitFolderStamp). Runs that start at the same moment share one listing. The process
// keeps one; any thread.
class GitProgramOverridesCache {
public:
    static constexpr std::size_t capacity = 32;
    static constexpr double settleSeconds = 2.0;

    explicit GitProgramOverridesCache(double settle = settleSeconds)
        : settle_(settle) {}

    static GitProgramOverridesCache& shared();

    // As GitProgramOverrides::read, from what is kept where it still holds.
    Expected<GitProgramOverrides, std::string> read(ProcessRunner& runner, const ProcessRequest& listing);

private:
    using Overrides = Expected<GitProgramOverrides, std::string>;

    GitFolderReadings<Overrides>::Read readAndStamp(ProcessRunner& runner,
                                                    const ProcessRequest& listing) const;

    const double settle_;
    GitFolderReadings<Overrides> readings_{capacity};
};

} // namespace korvane
