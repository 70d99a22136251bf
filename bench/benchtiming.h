#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <vector>

namespace korvane::bench {

using Clock = std::chrono::steady_clock;

inline double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The value below which the share `p` (0 to 1) of `values` lies; 0 for none.
inline double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0
                          : values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

} // namespace korvane::bench
