#include "providers/unmarkedfolders.h"

namespace korvane {

UnmarkedFolders::UnmarkedFolders(std::size_t capacity)
    : stamps_(capacity) {}

bool UnmarkedFolders::holdsMarker(const std::string& folder, FileProbe& files,
                                  bool (*lookIn)(const std::string& folder, FileProbe& files)) {
    // The stamp is read before the folder is looked in: a marker made in between changes it after.
    const auto stamp = files.changeStamp(folder);
    if (const FileProbe::ChangeStamp* known = stamps_.find(folder); known && stamp && *known == *stamp) {
        return false;
    }
    const bool marked = lookIn(folder, files);
    if (marked || !stamp) {
        stamps_.erase(folder);
    } else {
        stamps_.insert(folder, *stamp);
    }
    return marked;
}

} // namespace korvane
