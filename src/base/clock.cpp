#include "base/clock.h"

#include <algorithm>

namespace korvane {

Clock::WallTime clampedWallTime(WallSeconds date) {
    using Duration = Clock::WallTime::duration;
    const auto latest = std::chrono::floor<std::chrono::seconds>(Duration::max());
    const auto earliest = std::chrono::ceil<std::chrono::seconds>(Duration::min());
    const auto since = std::clamp(date.time_since_epoch(), earliest, latest);
    return Clock::WallTime(std::chrono::duration_cast<Duration>(since));
}

SystemClock& SystemClock::shared() {
    static SystemClock clock;
    return clock;
}

} // namespace korvane
