#include "matcher/matchresult.h"

namespace korvane {

std::optional<MatchQuality> matchQualityFromRawValue(int rawValue) {
    if (rawValue < static_cast<int>(MatchQuality::fuzzy) ||
        rawValue > static_cast<int>(MatchQuality::prefix)) {
        return std::nullopt;
    }
    return static_cast<MatchQuality>(rawValue);
}

} // namespace korvane
