#pragma once

#include "base/clock.h"
#include "files/pathlist.h"
#include "files/projectstatestamp.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

class TreeWatch;

// One project's file list as the file path provider keeps it: the paths are shared between copies of
// the record, never copied. A value; any thread.
struct FilePathIndex {
    std::string projectRoot;
    std::shared_ptr<const PathList> relativePaths = std::make_shared<const PathList>();
    Clock::WallTime buildTime;
    // When the project was last found unchanged since the build (the build time at first).
    Clock::WallTime checkTime;
    // The folders the listing takes files from that held none of them (UnlistedFolders), which the
    // stamp and the watch read besides the folders of listed paths.
    std::shared_ptr<const std::vector<std::string>> unlistedFolders =
        std::make_shared<const std::vector<std::string>>();
    // What the list was built from; a different stamp means it may have changed.
    ProjectStateStamp stateStamp;
    // Armed before `stateStamp` was taken, when the project could be watched: while they have seen
    // nothing, the folders the stamp reads are as they were. The second covers the unlisted folders.
    std::shared_ptr<TreeWatch> changeWatch;
    std::shared_ptr<TreeWatch> unlistedWatch;
    std::vector<std::string> recentByMtime;
    bool wasTruncated = false;
    bool usedGit = false;
    // A list that is not final (the walk stood in for a git that may answer next time, or the list
    // was cut short) is made again at the first check this many seconds after its build; 0 for a
    // final list.
    double retryDelay = 0;

    // What the stamp of this list reads below the root: the folders of its paths, then the unlisted ones.
    ProjectStateStamp::TreeEntries treeEntries() const {
        ProjectStateStamp::TreeEntries entries = ProjectStateStamp::treeEntries(*relativePaths);
        entries.folders.insert(entries.folders.end(), unlistedFolders->begin(), unlistedFolders->end());
        return entries;
    }
};

} // namespace korvane
