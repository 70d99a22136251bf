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

// A clock that moves only when told to. Both times start at fixed points and advance together.
class FakeClock final : public Clock {
public:
    FakeClock();
    explicit FakeClock(WallTime start);

    WallTime now() const override;
    MonotonicTime monotonicNow() const override;

    void setNow(WallTime time);
    void advance(double seconds);

private:
    mutable std::mutex mutex_;
    WallTime wall_;
    MonotonicTime monotonic_;
};

// Seconds between two times as a double, the unit the rest of the code uses for intervals.
inline double secondsBetween(Clock::WallTime from, Clock::WallTime to) {
    return std::chrono::duration<double>(to - from).count();
}

} // namespace korvane
