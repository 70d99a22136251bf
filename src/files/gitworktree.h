#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Decides whether git may list file names for a directory: only when the repository's work tree holds
// that directory (is it, or one of its parents) and the repository belongs to that work tree. A `.git`
// file that names another repository's folder, or a `core.worktree` that points at another folder,
// would otherwise make git list that other folder's names. Paths are compared with their links
// resolved, so a linked worktree or a submodule of the same repository still lists through git.
// Stateless; any thread.
class GitWorkTree {
public:
    // The arguments that print the work tree's top folder and the repository folder, one a line.
    static std::vector<std::string> probeArguments();
    // The arguments that print the repository's own `core.worktree`, which fail when it has none.
    static std::vector<std::string> configuredWorkTreeArguments();

    // Whether `directory` may be listed, from the lines of a probe run in it; `configuredWorkTree`
    // runs the second command, and is asked only for a repository folder that is neither the work
    // tree's ".git" nor a linked worktree's.
    static bool holds(const std::string& directory, const std::vector<std::string>& shown,
                      const std::function<std::optional<std::string>()>& configuredWorkTree);
};

} // namespace korvane
