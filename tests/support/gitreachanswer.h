#pragma once

#include <string>

namespace korvane::test {

// What `git rev-parse` answers the reading of what git reaches about a repository whose git directory is
// `top`/.git, one path a line: its folders and files as that reading asks them, then the work tree's top.
inline std::string repositoryPathsAnswer(const std::string& top) {
    std::string answer;
    for (const char* path : {"", "/modules", "/remotes", "/branches", "/config", "/config.worktree",
                             "/worktrees", "/rebase-merge", "/rebase-apply", "/sequencer", "/index"}) {
        answer += top + "/.git" + path + "\n";
    }
    return answer + top + "\n";
}

} // namespace korvane::test
