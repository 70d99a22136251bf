#include "platform/fake/fakeclock.h"

namespace korvane {
namespace {

// 2026-01-01T00:00:00Z: a fixed, readable start for tests.
constexpr std::chrono::seconds kFakeEpoch{1767225600};

std::chrono::nanoseconds toDuration(double seconds) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds));
}

} // namespace

FakeClock::FakeClock()
    : FakeClock(WallTime(kFakeEpoch)) {}

FakeClock::FakeClock(WallTime start)
    : wall_(start)
    , monotonic_(MonotonicTime(std::chrono::hours(1))) {}

Clock::WallTime FakeClock::now() const {
    std::lock_guard lock(mutex_);
    return wall_;
}

Clock::MonotonicTime FakeClock::monotonicNow() const {
    std::lock_guard lock(mutex_);
    return monotonic_;
}

void FakeClock::setNow(WallTime time) {
    std::lock_guard lock(mutex_);
    wall_ = time;
}

void FakeClock::advance(double seconds) {
    std::lock_guard lock(mutex_);
    const auto step = toDuration(seconds);
    wall_ += std::chrono::duration_cast<WallTime::duration>(step);
    monotonic_ += std::chrono::duration_cast<MonotonicTime::duration>(step);
}

} // namespace korvane
