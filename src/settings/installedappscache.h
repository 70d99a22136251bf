#pragma once

#include "base/clock.h"
#include "settings/installedapp.h"

#include <mutex>
#include <optional>
#include <vector>

namespace korvane {

// The last scanned list of installed applications, fresh for five minutes after it was stored, so
// that opening the list again soon shows it at once. Timed on the monotonic clock, so a wall clock
// set back or forward changes nothing. Any thread.
class InstalledAppsCache {
public:
    static constexpr double ttlSeconds = 300.0;

    explicit InstalledAppsCache(const Clock& clock);

    // The one cache of the process, on the system clock.
    static InstalledAppsCache& shared();

    // The stored list while it is fresh, else nothing.
    std::optional<std::vector<InstalledApp>> cachedAppsIfFresh() const;
    // Stores `apps` and stamps them with the current time.
    void store(std::vector<InstalledApp> apps);

private:
    const Clock& clock_;
    mutable std::mutex lock_;
    std::optional<std::vector<InstalledApp>> cachedApps_;
    std::optional<Clock::MonotonicTime> cacheDate_;
};

} // namespace korvane
