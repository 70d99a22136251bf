#include "gitguard/gitprogramoverridescache.h"

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

namespace korvane {

GitProgramOverridesCache& GitProgramOverridesCache::shared() {
    // Never destroyed: a git run still under way on a worker as the process ends may ask it.
    static auto* const cache = new GitProgramOverridesCache();
    return *cache;
}

Expected<GitProgramOverrides, std::string> GitProgramOverridesCache::read(ProcessRunner& runner,
                                                                          const ProcessRequest& listing) {
    auto overrides = readings_.read(listing, [&] { return readAndStamp(runner, listing); });
    if (!overrides) {
        return makeUnexpected(std::string("the repository configuration could not be read in time"));
    }
    return std::move(*overrides);
}

GitFolderReadings<GitProgramOverridesCache::Overrides>::Read
GitProgramOverridesCache::readAndStamp(ProcessRunner& runner, const ProcessRequest& listing) const {
    const auto began = std::chrono::system_clock::now();
    const GitFolderStamp::Variables variables = GitFolderStamp::variablesOf(listing);
    GitFolderStamp stamp =
        GitFolderStamp::take(listing.workingDirectory.value_or("."), listing.executable, variables);
    bool stamped = false;
    Overrides overrides = GitProgramOverrides::read(runner, listing, [&](const auto& listed) {
        stamped = stamp.addListing(listed, std::nullopt, variables);
    });
    // A listing that failed may do better next time.
    if (!overrides || !stamped || !stamp.settled(began, settle_)) {
        return {std::move(overrides), std::nullopt};
    }
    return {std::move(overrides), std::move(stamp)};
}

} // namespace korvane
