#include "files/recentfilessnapshot.h"

#include <algorithm>

namespace korvane {

int RecentFilesSnapshot::recencyScore(std::string_view path) const {
    const auto indexIn = [&](const std::vector<std::string>& list) -> int {
        const auto found = std::find(list.begin(), list.end(), path);
        return found == list.end() ? -1 : static_cast<int>(found - list.begin());
    };
    if (const int i = indexIn(gitUncommitted); i >= 0) {
        return 1000 - i;
    }
    if (const int i = indexIn(sessionSelected); i >= 0) {
        return 900 - 10 * i;
    }
    if (const int i = indexIn(gitRecentlyCommitted); i >= 0) {
        return 800 - i;
    }
    if (const int i = indexIn(mtimeRecent); i >= 0) {
        return 300 - 5 * i;
    }
    return 0;
}

} // namespace korvane
