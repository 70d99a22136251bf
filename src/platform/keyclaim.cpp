#include "platform/keyclaim.h"

#include <algorithm>
#include <cctype>

namespace korvane {
namespace {

// Only ASCII letters change case here: the claimed characters are the shortcut letters.
std::string asciiLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

bool KeyClaim::matches(std::uint16_t eventKeyCode, const std::optional<std::string>& characters,
                       std::uint64_t flags) const {
    if (character.empty()) {
        return eventKeyCode == keyCode;
    }
    if ((flags & requiredFlags) != requiredFlags || !characters) {
        return false;
    }
    return asciiLower(*characters) == asciiLower(character);
}

bool anyClaimMatches(const KeyClaimSet& claims, std::uint16_t keyCode,
                     const std::optional<std::string>& characters, std::uint64_t flags) {
    return std::any_of(claims.begin(), claims.end(),
                       [&](const KeyClaim& claim) { return claim.matches(keyCode, characters, flags); });
}

} // namespace korvane
