#pragma once

#include "files/pathlist.h"

#include <cstdint>
#include <string>

namespace korvane {

// What a project's file list depends on, folded into one number that is cheap to take again: the
// modification time, inode and size of git's index and HEAD, of every folder that holds a listed path
// (and their parents, up to the root) and of every listed ".gitignore". A folder's time moves whenever
// an entry is created, removed or renamed in it, so an unchanged stamp means the list would come out
// the same. Taken on whichever thread builds or checks an index; a few thousand stat calls for a
// large project, no git run.
class ProjectStateStamp {
public:
    // Recorded when something the stamp covers changed within this many seconds of taking it: a change
    // may then have fallen between the listing and the stamp, so the stamp matches no later one.
    static constexpr double settleSeconds = 2.0;

    static std::uint64_t take(const std::string& root, const PathList& paths);
    // The stamp no later one equals.
    static constexpr std::uint64_t unsettled = 0;
};

} // namespace korvane
