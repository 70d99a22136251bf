#pragma once

#include "platform/applicationcatalog.h"
#include "settings/installedapp.h"

#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Builds the installed-applications list from what the desktop reports, and filters it for the
// search field. Stateless; the scan runs away from the main thread.
class InstalledAppsScan {
public:
    // The installed applications in folder order, then the running applications that no folder
    // supplied; each identifier once (the first wins), Korvane's own never; sorted by name in the
    // user's locale ignoring case, equal names keeping that order.
    static std::vector<InstalledApp> scanInstalledApps(const std::vector<CatalogApplication>& installed,
                                                       const std::vector<CatalogApplication>& running,
                                                       const std::string& ownBundleId);
    // All of `apps` for an empty query; else those whose lower-cased name or identifier contains the
    // lower-cased query as it is (spaces count), in order.
    static std::vector<InstalledApp> filteredApps(const std::vector<InstalledApp>& apps,
                                                  std::string_view query);
};

} // namespace korvane
