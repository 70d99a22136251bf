#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// A key that the event tap asks its backend to claim before it reaches the focused application:
// either a virtual key code (`character` empty, any modifiers), or a character typed while
// `requiredFlags` are held. Shift and lock keys never change whether a key matches.
struct KeyClaim {
    std::uint16_t keyCode = 0;
    std::string character;
    std::uint64_t requiredFlags = 0;

    bool operator==(const KeyClaim&) const = default;

    // Whether a key-down with these values is one this claim covers.
    bool matches(std::uint16_t eventKeyCode, const std::optional<std::string>& characters,
                 std::uint64_t flags) const;
};

using KeyClaimSet = std::vector<KeyClaim>;

bool anyClaimMatches(const KeyClaimSet& claims, std::uint16_t keyCode,
                     const std::optional<std::string>& characters, std::uint64_t flags);

} // namespace korvane
