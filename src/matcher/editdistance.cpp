#include "matcher/editdistance.h"

#include "base/graphemetext.h"
#include "base/unicode.h"

#include <string>

namespace korvane {

std::optional<std::size_t> boundedEditDistance(std::string_view a, std::string_view b,
                                               std::size_t maxDistance, bool caseSensitive) {
    const std::string foldedA = caseSensitive ? std::string(a) : lowercased(a);
    const std::string foldedB = caseSensitive ? std::string(b) : lowercased(b);
    return detail::visitUnits(foldedA, [&](const auto& unitsA) {
        return detail::visitUnits(foldedB, [&](const auto& unitsB) {
            return detail::editDistanceWithin(unitsA, unitsB, maxDistance);
        });
    });
}

} // namespace korvane
