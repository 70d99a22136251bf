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
// large project, no git run. A value.
struct ProjectStateStamp {
    // Something the stamp covers that changed within this many seconds of taking it, or bears a time
    // ahead of the clock, leaves the stamp unsettled: a change may then have fallen between the
    // listing and the stamp.
    static constexpr double settleSeconds = 2.0;

    static ProjectStateStamp take(const std::string& root, const PathList& paths);

    std::uint64_t value = 0;
    // Whether a list read just before the stamp can be taken to match it: nothing the stamp covers
    // changed lately by the clock, or the same stamp was also taken before the list was read.
    bool settled = false;
};

} // namespace korvane
