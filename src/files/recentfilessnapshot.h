#pragma once

#include "base/clock.h"

#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// The files of a project the user touched lately, as four ordered lists of paths relative to the
// root, and when the lists were made (the distant past when the root had no index yet).
struct RecentFilesSnapshot {
    std::vector<std::string> gitUncommitted;
    std::vector<std::string> sessionSelected;
    std::vector<std::string> gitRecentlyCommitted;
    std::vector<std::string> mtimeRecent;
    Clock::WallTime timestamp;

    // 1000 - i in the uncommitted list, else 900 - 10 i in the session list, else 800 - i in the
    // committed list, else 300 - 5 i in the modified list, else 0: the first list holding the path wins.
    int recencyScore(std::string_view path) const;

    bool operator==(const RecentFilesSnapshot&) const = default;
};

} // namespace korvane
