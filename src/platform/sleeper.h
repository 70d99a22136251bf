#pragma once

#include <chrono>
#include <thread>

namespace korvane {

// Pauses the calling background thread, for pacing synthesized input. Tests record the pauses
// instead of waiting.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void sleep(std::chrono::microseconds duration) = 0;
};

// Sleeps for real. Any thread but the main thread.
class ThreadSleeper final : public Sleeper {
public:
    void sleep(std::chrono::microseconds duration) override { std::this_thread::sleep_for(duration); }
};

} // namespace korvane
