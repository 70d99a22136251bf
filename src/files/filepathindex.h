#pragma once

#include "base/clock.h"
#include "files/pathlist.h"

#include <memory>
#include <string>
#include <vector>

namespace korvane {

// One project's file list as the file path provider keeps it: the paths are shared between copies of
// the record, never copied.
struct FilePathIndex {
    std::string projectRoot;
    std::shared_ptr<const PathList> relativePaths = std::make_shared<const PathList>();
    Clock::WallTime buildTime;
    std::vector<std::string> recentByMtime;
    bool wasTruncated = false;
    bool usedGit = false;
};

} // namespace korvane
