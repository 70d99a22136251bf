#pragma once

#include <filesystem>
#include <functional>
#include <optional>

namespace korvane {

// Whether a repository's index may hold a gitlink, told from the index's bytes alone, so that the
// reading asks git to list an index only where one may lead to a submodule. Stateless; any thread.
class GitIndexGitlinks {
public:
    // Whether `index`, or a shared index a split index keeps beside it in `gitDir`, may hold a gitlink's
    // mode; an index that cannot be read here may (git says whether it does). None once `expired` says
    // the reading ran out of time.
    static std::optional<bool> mayHold(const std::filesystem::path& index,
                                       const std::filesystem::path& gitDir,
                                       const std::function<bool()>& expired = {});
};

} // namespace korvane
