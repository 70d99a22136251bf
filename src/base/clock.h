#pragma once

#include <chrono>
#include <mutex>

namespace korvane {

// Wall-clock and monotonic time. Core code asks a Clock instead of std::chrono so tests can
// set the time. Implementations are safe to read from any thread.
class Clock {
public:
    using WallTime = std::chrono::system_clock::time_point;
    using MonotonicTime = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;
    virtual WallTime now() const = 0;
    virtual MonotonicTime monotonicNow() const = 0;
};

// The real clocks of the machine.
class SystemClock final : public Clock {
public:
    static SystemClock& shared();

    WallTime now() const override { return std::chrono::system_clock::now(); }
    MonotonicTime monotonicNow() const override { return std::chrono::steady_clock::now(); }
};

// Milliseconds from `start` to the clock's monotonic now, as timing lines report them.
inline double millisecondsSince(Clock::MonotonicTime start, const Clock& clock) {
    return std::chrono::duration<double, std::milli>(clock.monotonicNow() - start).count();
}

// Seconds from `from` to `to` as a double, the unit the rest of the code uses for intervals. Times
// further apart than a WallTime's range (about 292 years, e.g. a clamped ancient date and now) are
// subtracted in floating point rather than overflowing.
inline double secondsBetween(Clock::WallTime from, Clock::WallTime to) {
    Clock::WallTime::rep difference = 0;
    if (!__builtin_sub_overflow(to.time_since_epoch().count(), from.time_since_epoch().count(),
                                &difference)) {
        return std::chrono::duration<double>(Clock::WallTime::duration(difference)).count();
    }
    return std::chrono::duration<double>(to.time_since_epoch()).count() -
           std::chrono::duration<double>(from.time_since_epoch()).count();
}

// A date of whole seconds, such as the usage history stores: it reaches far beyond the years a
// WallTime can hold (1677 to 2262), so dates read from a file keep their value.
using WallSeconds = std::chrono::sys_seconds;

// `time` rounded down to whole seconds.
inline WallSeconds wholeSeconds(Clock::WallTime time) {
    return std::chrono::floor<std::chrono::seconds>(time);
}

// `date` as a WallTime, clamped to the whole seconds a WallTime can hold.
Clock::WallTime clampedWallTime(WallSeconds date);

} // namespace korvane
