#pragma once

#include "files/gitcommandrunner.h"
#include "files/gitlsfilesbroker.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Lists a git project's files for the project's snippet scan: tracked and untracked files that git
// does not ignore, with git's quoting decoded and names that are not UTF-8 left out. The listing as
// git printed it is left with the broker for the file path index of the same root. Stateless
// besides the broker; any thread; blocks for up to `timeout`.
class GitScanLister {
public:
    static constexpr double timeout = 5.0;

    // Listings are left with `broker` when there is one.
    GitScanLister(std::shared_ptr<ProcessRunner> processRunner, std::shared_ptr<GitLsFilesBroker> broker);

    // Nothing when git cannot be used for `root` (not started, failed, too slow); then no listing is
    // left with the broker either.
    std::optional<std::vector<std::string>> list(const std::string& root) const;

    // `list` as a function that keeps this lister's process runner alive.
    std::function<std::optional<std::vector<std::string>>(const std::string& root)> lister() const;

private:
    GitCommandRunner runner_;
    std::shared_ptr<GitLsFilesBroker> broker_;
};

} // namespace korvane
