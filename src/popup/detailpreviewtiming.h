#pragma once

#include <cstdint>

namespace korvane {

// The delays of the detail panel: how long a row must stay selected before its detail shell shows,
// the debounce of its content, the idle wait before an automatic preview, and how long after an
// arrow key navigation counts as active. A plain value.
struct DetailPreviewTiming {
    std::uint64_t shellDwellNs = 0;
    std::uint64_t contentDebounceNs = 0;
    std::uint64_t idleAutoPreviewNs = 0;
    double navigationIdleThreshold = 0;

    // The values the popup and the settings preview use: 30 ms, 150 ms, 320 ms and 0.3 s.
    static constexpr DetailPreviewTiming popup() { return {30'000'000, 150'000'000, 320'000'000, 0.3}; }

    bool operator==(const DetailPreviewTiming&) const = default;
};

} // namespace korvane
