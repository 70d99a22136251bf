#pragma once

#include "base/clock.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace korvane {

// What ranking reads of the usage history: the cached frecency score of a snippet id and when it was
// last used. The registry and the section builder hold one; main thread.
class HistoryReader {
public:
    virtual ~HistoryReader() = default;

    // The cached score of `id`; 0 when it has none.
    virtual double frecencyScore(const std::string& id) const = 0;
    // When `id` was last used; absent when it never was.
    virtual std::optional<Clock::WallTime> lastUsedDate(const std::string& id) const = 0;
    // Changes whenever a score or date may have changed, so that a reader may keep what it read
    // until then.
    virtual std::uint64_t generation() const = 0;
};

// A score that is safe to order by: NaN counts as 0 and infinities as the largest finite value of
// their sign, so comparators built on it stay strict weak orders.
inline double finiteScore(double score) {
    if (std::isnan(score)) {
        return 0.0;
    }
    if (std::isinf(score)) {
        return score > 0 ? std::numeric_limits<double>::max() : std::numeric_limits<double>::lowest();
    }
    return score;
}

} // namespace korvane
