#pragma once

#include "base/lrumap.h"
#include "platform/fileprobe.h"

#include <cstddef>
#include <string>

namespace korvane {

// The folders found to hold no project marker, each with its stamp when it was looked in. A marker
// made, removed or renamed there, or the folder replaced, changes the stamp: while it stands, the
// folder still holds none, and one question of the disk tells it instead of one per marker. A busy
// terminal's tabs in folders of no project are then not looked in again at every trigger. The least
// recently used go past `capacity`. Main thread.
class UnmarkedFolders {
public:
    explicit UnmarkedFolders(std::size_t capacity);

    // Whether `folder` holds a marker, as `lookIn` tells, unless the folder is known to hold none.
    bool holdsMarker(const std::string& folder, FileProbe& files,
                     bool (*lookIn)(const std::string& folder, FileProbe& files));

private:
    LruMap<std::string, FileProbe::ChangeStamp> stamps_;
};

} // namespace korvane
