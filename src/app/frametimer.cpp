#include "app/frametimer.h"

#include "base/diagnostics.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace korvane {
namespace {

std::int64_t nowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

bool FrameTimer::enabled() {
    const char* value = std::getenv("KORVANE_TIMING");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

void FrameTimer::noteKey() {
    keyAt_.store(nowNanoseconds(), std::memory_order_release);
}

void FrameTimer::noteShown() {
    firstFrame_ = true;
}

void FrameTimer::notePainted(const std::string& fileRows) {
    const std::int64_t keyAt = keyAt_.exchange(0, std::memory_order_acq_rel);
    const bool first = std::exchange(firstFrame_, false);
    // The popup's first frame shows the recent files of the browser, not results of a search.
    if (keyAt != 0 && !first) {
        filesKeyAt_ = keyAt;
    }
    char line[96];
    if (filesKeyAt_ != 0 && !fileRows.empty() && fileRows != paintedFileRows_) {
        std::snprintf(line, sizeof line, "Timing: key-to-files-frame %.3f ms",
                      static_cast<double>(nowNanoseconds() - filesKeyAt_) / 1e6);
        diagnostic(line);
        filesKeyAt_ = 0;
    }
    paintedFileRows_ = fileRows;
    if (keyAt == 0) {
        return;
    }
    std::snprintf(line, sizeof line, "Timing: %s %.3f ms", first ? "trigger-to-frame" : "key-to-frame",
                  static_cast<double>(nowNanoseconds() - keyAt) / 1e6);
    diagnostic(line);
}

} // namespace korvane
