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
// would answer the same. The least recently asked folder goes first past `capacity`. Any thread.
class GitNoRepositoryFolders {
public:
    static constexpr std::size_t capacity = 64;

    // The stamp to take before asking git, as `request` would, about its working directory.
    static GitFolderStamp stampBefore(const ProcessRequest& request);

    // Whether no repository still holds `folder`, as git last answered.
    bool holdsNone(const std::string& folder);
    // git answered that no repository holds `folder`, asked after `before` was taken.
    void remember(const std::string& folder, GitFolderStamp before);

private:
    std::mutex lock_;
    LruMap<std::string, GitFolderStamp> folders_{capacity};
};

} // namespace korvane
