#include "matcher/typomatch.h"

#include "base/unicode.h"

#include <string>

namespace korvane {

std::optional<TextRanges> typoMatch(std::string_view query, std::string_view text, bool caseSensitive) {
    const std::string foldedQuery = caseSensitive ? std::string(query) : lowercased(query);
    const std::string foldedText = caseSensitive ? std::string(text) : lowercased(text);
    return detail::visitUnits(foldedQuery, [&](const auto& queryUnits) {
        return detail::visitUnits(
            foldedText, [&](const auto& textUnits) { return detail::typoRanges(queryUnits, textUnits); });
    });
}

std::optional<MatchResult> lastComponentTypoMatch(std::string_view query, std::string_view text,
                                                  std::size_t textLength, bool caseSensitive) {
    const std::string foldedQuery = caseSensitive ? std::string(query) : lowercased(query);
    const std::string foldedText = caseSensitive ? std::string(text) : lowercased(text);
    return detail::visitUnits(foldedQuery, [&](const auto& queryUnits) {
        return detail::visitUnits(foldedText, [&](const auto& textUnits) {
            return detail::lastComponentTypo(queryUnits, textUnits, textLength);
        });
    });
}

} // namespace korvane
