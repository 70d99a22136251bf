#include "settings/installedappscache.h"

#include <chrono>

namespace korvane {

InstalledAppsCache::InstalledAppsCache(const Clock& clock)
    : clock_(clock) {}

InstalledAppsCache& InstalledAppsCache::shared() {
    static InstalledAppsCache cache(SystemClock::shared());
    return cache;
}

std::optional<std::vector<InstalledApp>> InstalledAppsCache::cachedAppsIfFresh() const {
    std::lock_guard guard(lock_);
    if (!cacheDate_) {
        return std::nullopt;
    }
    const std::chrono::duration<double> age = clock_.monotonicNow() - *cacheDate_;
    if (age.count() >= ttlSeconds) {
        return std::nullopt;
    }
    return cachedApps_;
}

void InstalledAppsCache::store(std::vector<InstalledApp> apps) {
    std::lock_guard guard(lock_);
    cachedApps_ = std::move(apps);
    cacheDate_ = clock_.monotonicNow();
}

} // namespace korvane
