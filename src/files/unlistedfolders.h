#pragma once

#include "files/commandrunner.h"
#include "files/pathlist.h"
#include "files/projectstatestamp.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Finds the folders of a project that its listing takes files from but that held none of the listed
// paths when it was listed (empty ones, ones holding only files the listing leaves out, the folders
// nested in them): a file made in one moves no folder the list's stamp reads, so the stamp and the
// watch read these too. It never enters a folder the listing leaves out (an ignored node_modules): the
// listing's own judge says, level by level, which of the folders met it takes files from. Any thread;
// blocks while the judge runs git.
class UnlistedFolders {
public:
    // Which of `candidates` (folders relative to the root) the listing takes files from; none when that
    // cannot be told. `nested`: each lies in a folder taken before.
    using Judge = std::function<std::optional<std::vector<std::string>>(
        const std::vector<std::string>& candidates, bool nested)>;

    // How many levels below the listed folders, and how many folders in all, are looked for: a deeper or
    // larger tree of empty folders is left to the listing that a change elsewhere brings. Every level
    // costs the judge a git run (a few where many are asked about), and every folder found one stat per
    // look without a watch.
    static constexpr std::size_t levelLimit = 4;
    static constexpr std::size_t folderLimit = 512;
    // git is asked about at most this many candidates by name at once: it compares every folder it meets
    // with every candidate it is given. Above this many at the top level it judges the whole tree.
    static constexpr std::size_t candidateLimit = 64;

    // The folders found below the `roomy` ones (the root as ""), each after the folder holding it:
    // the folders of the listing's `entries` whose link count showed folders besides the listed ones
    // (ProjectStateStamp::take tells them). No other listed folder is read.
    static std::vector<std::string> find(const std::string& root, const PathList& paths,
                                         const ProjectStateStamp::TreeEntries& entries,
                                         const std::vector<std::string_view>& roomy, const Judge& judge);

    // The judge of a git listing: git's own answer to which untracked folders it would list files of
    // (`ls-files --others --directory --exclude-standard`), for the candidates named or the whole tree.
    // git prints only the topmost of them, so those within one it prints are asked about by name, at
    // most folderLimit of them.
    static Judge gitJudge(CommandRunner runner, std::string root, double timeout);
    // The judge of the walk that stands in for git: the folders it enters.
    static Judge walkJudge();
};

} // namespace korvane
