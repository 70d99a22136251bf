#include "files/gitnorepositoryfolders.h"

#include <optional>
#include <utility>

namespace korvane {

GitFolderStamp GitNoRepositoryFolders::stampBefore(const ProcessRequest& request) {
    return GitFolderStamp::take(request.workingDirectory.value_or("."), request.executable,
                                GitFolderStamp::variablesOf(request));
}

bool GitNoRepositoryFolders::holdsNone(const std::string& folder) {
    std::optional<GitFolderStamp> stamp;
    {
        std::lock_guard lock(lock_);
        if (const GitFolderStamp* found = folders_.find(folder)) {
            stamp = *found;
        }
    }
    if (!stamp) {
        return false;
    }
    if (stamp->holds()) {
        return true;
    }
    std::lock_guard lock(lock_);
    folders_.erase(folder);
    return false;
}

bool GitNoRepositoryFolders::remember(const std::string& folder, GitFolderStamp before) {
    if (!before.searchMetNothing()) {
        return false;
    }
    std::lock_guard lock(lock_);
    folders_.insert(folder, std::move(before));
    return true;
}

} // namespace korvane
