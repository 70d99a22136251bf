#pragma once

#include "base/lrumap.h"
#include "platform/fileprobe.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace korvane {

// The folders found to hold none of the marker names, each with its stamp when it was looked in. A
// marker made, removed or renamed there, or the folder replaced, changes the stamp: while it stands,
// the folder still holds none, and one question of the disk tells it instead of one per marker. A busy
// terminal's tabs in folders of no project are then not looked in again at every trigger. The least
// recently used go past `capacity`. Main thread.
class UnmarkedFolders {
public:
    // `markers` outlives this.
    UnmarkedFolders(std::size_t capacity, std::span<const std::string_view> markers);

    // Whether one of the markers is in `folder`, links followed.
    bool holdsMarker(const std::string& folder, FileProbe& files);

private:
    std::span<const std::string_view> markers_;
    LruMap<std::string, PathStamp> stamps_;
};

} // namespace korvane
