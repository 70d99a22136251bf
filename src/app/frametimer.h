#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace korvane {

// Measures, when KORVANE_TIMING=1 is set, how long the popup took to show a key the tap saw: from the
// key on the tap's thread to the next frame the popup painted. Prints one line per frame that follows
// a key: "[Korvane] Timing: trigger-to-frame <ms> ms" for the first frame after the popup appeared,
// "[Korvane] Timing: key-to-frame <ms> ms" otherwise.
class FrameTimer {
public:
    static bool enabled();

    // Key tap thread.
    void noteKey();
    // Main thread.
    void noteShown();
    void notePainted();

private:
    std::atomic<std::int64_t> keyAt_{0};
    bool firstFrame_ = false;
};

} // namespace korvane
