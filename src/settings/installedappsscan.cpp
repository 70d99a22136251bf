#include "settings/installedappsscan.h"

#include "base/localizedcollator.h"
#include "base/unicode.h"

#include <algorithm>
#include <unordered_set>

namespace korvane {

std::vector<InstalledApp>
InstalledAppsScan::scanInstalledApps(const std::vector<CatalogApplication>& installed,
                                     const std::vector<CatalogApplication>& running,
                                     const std::string& ownBundleId) {
    std::vector<InstalledApp> result;
    std::unordered_set<std::string> seen;
    auto add = [&](const CatalogApplication& app) {
        if (app.bundleId.empty() || app.bundleId == ownBundleId || !seen.insert(app.bundleId).second) {
            return;
        }
        result.push_back(InstalledApp{app.bundleId, app.name, app.path});
    };
    for (const CatalogApplication& app : installed) {
        add(app);
    }
    for (const CatalogApplication& app : running) {
        add(app);
    }
    const LocalizedCollator collator;
    std::vector<std::pair<std::string, InstalledApp>> keyed;
    keyed.reserve(result.size());
    for (InstalledApp& app : result) {
        // Lower-cased first: the POSIX order of a "C" locale tells letter case apart.
        keyed.emplace_back(collator.sortKey(lowercased(app.appName)), std::move(app));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    result.clear();
    for (auto& entry : keyed) {
        result.push_back(std::move(entry.second));
    }
    return result;
}

std::vector<InstalledApp> InstalledAppsScan::filteredApps(const std::vector<InstalledApp>& apps,
                                                          std::string_view query) {
    if (query.empty()) {
        return apps;
    }
    const std::string needle = lowercased(std::string(query));
    std::vector<InstalledApp> result;
    for (const InstalledApp& app : apps) {
        if (lowercased(app.appName).find(needle) != std::string::npos ||
            lowercased(app.bundleId).find(needle) != std::string::npos) {
            result.push_back(app);
        }
    }
    return result;
}

} // namespace korvane
