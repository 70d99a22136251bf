#pragma once

#include "base/clock.h"

#include <mutex>

namespace korvane {

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

} // namespace korvane
