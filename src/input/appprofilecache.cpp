#include "input/appprofilecache.h"

#include "input/applicationsets.h"

namespace korvane {

AppProfileCache::AppProfileCache(std::shared_ptr<ElectronProbe> probe)
    : probe_(std::move(probe)) {}

AppProfile AppProfileCache::profile(const std::string& bundleID) {
    {
        std::lock_guard lock(mutex_);
        if (auto found = profiles_.find(bundleID); found != profiles_.end()) {
            return found->second;
        }
    }
    // Decided without the lock: the probe is slow and another thread may be asking for another
    // application. Two threads deciding the same identifier reach the same answer.
    AppProfile decided = decide(bundleID);
    std::lock_guard lock(mutex_);
    profiles_[bundleID] = decided;
    return decided;
}

bool AppProfileCache::isElectronApp(const std::string& bundleID) {
    return probe_ && probe_->isElectronApp(bundleID);
}

AppProfile AppProfileCache::decide(const std::string& bundleID) {
    if (terminalBundleIDs().count(bundleID) != 0) {
        return AppProfile::terminalProfile();
    }
    if (electronBundleIDs().count(bundleID) != 0 || isElectronApp(bundleID)) {
        return AppProfile::electronProfile();
    }
    return AppProfile::defaultProfile();
}

} // namespace korvane
