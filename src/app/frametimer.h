#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace korvane {

// Measures, when KORVANE_TIMING=1 is set, how long the popup took to show a key the tap saw: from the
// key on the tap's thread to the next frame the popup painted. Prints one line per frame that follows
// a key: "[Korvane] Timing: trigger-to-frame <ms> ms" for the first frame after the popup appeared,
// "[Korvane] Timing: key-to-frame <ms> ms" otherwise, and "[Korvane] Timing: key-to-files-frame <ms> ms"
// for the first frame after a key whose file rows differ from those shown before it (the merged file
// results arriving). The components' performance lines are printed the same way meanwhile.
class FrameTimer {
public:
    static bool enabled();

    // Key tap thread.
    void noteKey();
    // Main thread. `fileRows` names the file results the painted frame shows.
    void noteShown();
    void notePainted(const std::string& fileRows);

private:
    std::atomic<std::int64_t> keyAt_{0};
    bool firstFrame_ = false;
    // The key whose file results have not been painted yet, and the file rows last painted.
    std::int64_t filesKeyAt_ = 0;
    std::string paintedFileRows_;
};

} // namespace korvane
