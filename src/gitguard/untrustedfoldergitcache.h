#pragma once

#include "base/expected.h"
#include "gitguard/gitfolderreadings.h"
#include "gitguard/untrustedfoldergit.h"
#include "platform/processrunner.h"

#include <cstddef>
#include <string>

namespace korvane {

// The decisions of UntrustedFolderGit, each kept for as long as nothing it was read from changed: the folder
// and what decides the repository git finds there, the environment git ran with, every configuration file git
// named or an include names, and of every repository reached its git directory's entries and the files git
// reads there by name, its `.git`, worktree links, index gitlinks, modules and remotes folders, and each link
// on the way to them, the same of every other `.git` folder met on the way, and each link on the way to a
// path that a value of a key no rule knows names or to a text file a key names (GitFolderStamp). A decision
// read while one of those
// changed, or one that git could not finish, is not kept. Commands that ask at the same moment share one
// reading. Any thread; a caller waits for another's reading within its own time limit.
class UntrustedFolderGitCache {
public:
    static constexpr std::size_t capacity = 32;
    // A change this many seconds before a reading began may have fallen within it unseen by the stamps
    // of what it read: file systems date changes in steps as coarse as 2 s.
    static constexpr double settleSeconds = 2.0;

    explicit UntrustedFolderGitCache(double settle = settleSeconds)
        : settle_(settle) {}

    // As UntrustedFolderGit::read, from what is kept where it still holds.
    Expected<UntrustedFolderGit, std::string> read(ProcessRunner& runner, const ProcessRequest& base);

private:
    using Decision = Expected<UntrustedFolderGit, std::string>;

    GitFolderReadings<Decision>::Read readAndStamp(ProcessRunner& runner, const ProcessRequest& base) const;

    const double settle_;
    GitFolderReadings<Decision> readings_{capacity};
};

} // namespace korvane
