#pragma once

#include "files/commandrunner.h"

#include <map>
#include <optional>
#include <string>

namespace korvane {

// Answers, for the detail panel, how far a branch is ahead of and behind the repository's default
// branch. Keeps no state besides its quiet git runner; every operation blocks while git runs, so it
// is called from background jobs, on any thread, any number at once.
class GitBranchMetadataProvider {
public:
    static constexpr double queryTimeout = 3.0;

    explicit GitBranchMetadataProvider(CommandRunner runGit);

    // The branch that origin's HEAD names when it is a safe ref name, else "main", else "master",
    // when it exists.
    std::optional<std::string> defaultBranch(const std::string& root) const;

    // "ahead", "behind" (decimal) and "default_branch" for `branch`, or none when there is no default
    // branch, `branch` is no safe ref name, or git gives no two whole numbers.
    std::optional<std::map<std::string, std::string>> aheadBehind(const std::string& branch,
                                                                  const std::string& root) const;

    // The two counts of `rev-list --left-right --count` as (behind, ahead), or none.
    static std::optional<std::pair<long long, long long>> parseCounts(const std::string& output);

private:
    const CommandRunner runGit_;
};

} // namespace korvane
