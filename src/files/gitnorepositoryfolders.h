#pragma once

#include "base/lrumap.h"
#include "gitguard/gitfolderstamp.h"
#include "platform/processrunner.h"

#include <cstddef>
#include <mutex>
#include <string>

namespace korvane {

// Keeps, per folder, git's final answer that no repository holds it, for as long as what decides that
// answer (GitFolderStamp, taken before git was asked) stays as it was: asked again meanwhile, git
// would answer the same. git answers a refusal the user can mend (an owner it does not trust, a bare
// repository it may not use, a configuration it cannot read) with the same status, so an answer is
// final only where no folder git searched holds anything it may take for a repository. The least
// recently asked folder goes first past `capacity`. Any thread.
class GitNoRepositoryFolders {
public:
    static constexpr std::size_t capacity = 64;

    // The stamp to take before asking git, as `request` would, about its working directory.
    static GitFolderStamp stampBefore(const ProcessRequest& request);

    // Whether no repository still holds `folder`, as git last answered.
    bool holdsNone(const std::string& folder);
    // git refused to work in `folder`, asked after `before` was taken: kept where that is its final
    // answer that no repository holds the folder. Whether it was.
    bool remember(const std::string& folder, GitFolderStamp before);

private:
    std::mutex lock_;
    LruMap<std::string, GitFolderStamp> folders_{capacity};
};

} // namespace korvane
