#pragma once

#include <optional>
#include <string_view>

namespace korvane {

// Which colours the popup gives the badges of its rows.
enum class BadgePalette { pastel, saturated, minimal };

std::string_view toString(BadgePalette palette);
// Exact, case-sensitive match of "pastel", "saturated" or "minimal".
std::optional<BadgePalette> badgePaletteFromString(std::string_view text);
// The palette a configured "badge_palette" selects; any other text is logged and reads as pastel.
BadgePalette parseBadgePalette(std::string_view text);

} // namespace korvane
