#pragma once

#include "input/appprofile.h"
#include "platform/electronprobe.h"

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace korvane {

// Decides the injection profile of each application once and keeps it for the life of the
// process: terminals and Electron applications paste, the rest go through accessibility. The shell
// creates one and shares it; any thread.
class AppProfileCache {
public:
    explicit AppProfileCache(std::shared_ptr<ElectronProbe> probe);

    // The cached profile of `bundleID`, decided on first use. Entries are never removed, so an
    // application that has quit keeps the answer it got while it ran.
    AppProfile profile(const std::string& bundleID);

    // The Electron probe, uncached.
    bool isElectronApp(const std::string& bundleID);

private:
    AppProfile decide(const std::string& bundleID);

    std::shared_ptr<ElectronProbe> probe_;
    std::mutex mutex_;
    std::unordered_map<std::string, AppProfile> profiles_;
};

} // namespace korvane
