#include "base/clock.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using std::chrono::seconds;

TEST(ClockTest, SecondsBetweenNeverOverflows) {
    const Clock::WallTime earliest = Clock::WallTime::min();
    const Clock::WallTime latest = Clock::WallTime::max();
    const Clock::WallTime now(seconds(1767225600));
    const double span = 2.0 * 9.223372036854775807e9; // the whole range of a WallTime, in seconds
    struct Case {
        Clock::WallTime from;
        Clock::WallTime to;
        double expected;
    };
    const Case cases[] = {
        {now, now + seconds(90), 90.0},
        {now + seconds(90), now, -90.0},
        {earliest, latest, span},
        {latest, earliest, -span},
        {earliest, now, 9.223372036854775807e9 + 1767225600.0},
        {now, earliest, -(9.223372036854775807e9 + 1767225600.0)},
        {latest, now, -(9.223372036854775807e9 - 1767225600.0)},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(secondsBetween(c.from, c.to), c.expected, 1e-6 * std::abs(c.expected))
            << c.from.time_since_epoch().count() << " -> " << c.to.time_since_epoch().count();
    }
    EXPECT_EQ(secondsBetween(now, now + std::chrono::nanoseconds(1)), 1e-9);
}

TEST(ClockTest, WallSecondsOutsideTheWallTimeRangeAreClamped) {
    using namespace std::chrono;
    const WallSeconds yearOne = sys_days(year(1) / January / 1);
    const WallSeconds year9999 = sys_days(year(9999) / December / 31);
    const WallSeconds inRange(seconds(1767225600));
    EXPECT_EQ(clampedWallTime(inRange), Clock::WallTime(inRange));
    EXPECT_EQ(clampedWallTime(yearOne), Clock::WallTime(ceil<seconds>(Clock::WallTime::duration::min())));
    EXPECT_EQ(clampedWallTime(year9999), Clock::WallTime(floor<seconds>(Clock::WallTime::duration::max())));
    EXPECT_EQ(wholeSeconds(Clock::WallTime(inRange) + milliseconds(999)), inRange);
    EXPECT_EQ(wholeSeconds(Clock::WallTime(inRange) - milliseconds(1)), inRange - seconds(1));
}

} // namespace
} // namespace korvane
