#include "providers/unmarkedfolders.h"

namespace korvane {

UnmarkedFolders::UnmarkedFolders(std::size_t capacity, std::span<const std::string_view> markers)
    : markers_(markers)
    , stamps_(capacity) {}

bool UnmarkedFolders::holdsMarker(const std::string& folder, FileProbe& files) {
    // The stamp is read before the folder is looked in: a marker made in between changes it after.
    const auto stamp = files.changeStamp(folder);
    if (const PathStamp* known = stamps_.find(folder); known && stamp && *known == *stamp) {
        return false;
    }
    // A name that is not there is no marker, followed or not, at one question. A link that leads nowhere
    // may lead to a marker once its end is made elsewhere, which this folder's stamp does not tell.
    bool leadsNowhere = false;
    for (std::string_view marker : markers_) {
        const std::string path = folder + "/" + std::string(marker);
        if (!files.entryExists(path)) {
            continue;
        }
        if (files.exists(path)) {
            stamps_.erase(folder);
            return true;
        }
        leadsNowhere = true;
    }
    if (stamp && !leadsNowhere) {
        stamps_.insert(folder, *stamp);
    } else {
        stamps_.erase(folder);
    }
    return false;
}

} // namespace korvane
