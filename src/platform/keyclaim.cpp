#include "platform/keyclaim.h"

#include "base/unicode.h"

#include <algorithm>

namespace korvane {

bool KeyClaim::matches(std::uint16_t eventKeyCode, const std::optional<std::string>& characters,
                       std::uint64_t flags) const {
    if (character.empty()) {
        return eventKeyCode == keyCode;
    }
    if ((flags & requiredFlags) != requiredFlags || !characters) {
        return false;
    }
    // Only ASCII letters change case here: the claimed characters are the shortcut letters.
    return asciiLowercased(*characters) == asciiLowercased(character);
}

bool anyClaimMatches(const KeyClaimSet& claims, std::uint16_t keyCode,
                     const std::optional<std::string>& characters, std::uint64_t flags) {
    return std::any_of(claims.begin(), claims.end(),
                       [&](const KeyClaim& claim) { return claim.matches(keyCode, characters, flags); });
}

} // namespace korvane
