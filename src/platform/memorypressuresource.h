#pragma once

#include <functional>

namespace korvane {

// What one memory-pressure event carries: the levels it stands for.
struct MemoryPressureEvent {
    bool warning = false;
    bool critical = false;
};

// Tells the main thread when the system runs short of memory, once per rise in level (not on every
// reading while memory stays low). Start and stop on the main thread.
class MemoryPressureSource {
public:
    virtual ~MemoryPressureSource() = default;
    virtual void start(std::function<void(const MemoryPressureEvent&)> onPressure) = 0;
    virtual void stop() = 0;
};

} // namespace korvane
