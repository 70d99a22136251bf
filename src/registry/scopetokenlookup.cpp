#include "registry/scopetokenlookup.h"

#include "base/unicode.h"
#include "registry/querytext.h"

#include <algorithm>

namespace korvane {

const ScopeSpec* ScopeTokenLookup::scopeSpec(const std::string& token) const {
    const auto found = projection_.tokenToSpec.find(token);
    return found == projection_.tokenToSpec.end() ? nullptr : &found->second;
}

bool ScopeTokenLookup::isStartOfLongerToken(std::string_view lower) const {
    const QueryText typed(lower);
    for (const auto& [token, scopeSpec] : projection_.tokenToSpec) {
        if (token.size() <= lower.size() || !token.starts_with(lower)) {
            continue;
        }
        // A byte prefix that ends inside one of the alias's characters (a letter whose accent is a
        // separate code point) is not a character prefix.
        const QueryText alias(token);
        if (alias.size() > typed.size() && alias.prefix(typed.size()) == lower) {
            return true;
        }
    }
    return false;
}

std::optional<ScopeTokenLookup::CompactMatch> ScopeTokenLookup::compactMatch(std::string_view rest) const {
    const QueryText typed(rest);
    const std::string lower = lowercased(rest);
    const QueryText lowerText(lower);
    // Lower-casing keeps the number of characters in practice; bounding by both counts keeps the
    // cut inside the typed text should it ever not.
    const std::size_t available = std::min(typed.size(), lowerText.size());
    if (available < 2) {
        return std::nullopt;
    }
    for (std::size_t k = std::min(longestCompactToken(), available - 1); k >= 1; --k) {
        std::string candidate(lowerText.prefix(k));
        if (!projection_.compactTokens.contains(candidate)) {
            continue;
        }
        if (const ScopeSpec* found = scopeSpec(candidate)) {
            return CompactMatch{std::move(candidate), found, std::string(typed.dropFirst(k))};
        }
    }
    return std::nullopt;
}

std::size_t ScopeTokenLookup::longestCompactToken() const {
    std::size_t longest = 0;
    for (const std::string& token : projection_.compactTokens) {
        longest = std::max(longest, QueryText(token).size());
    }
    return longest == 0 ? 1 : longest;
}

} // namespace korvane
