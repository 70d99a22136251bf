#include "config/badgepalette.h"

#include "base/diagnostics.h"

#include <string>

namespace korvane {

std::string_view toString(BadgePalette palette) {
    switch (palette) {
    case BadgePalette::pastel:
        return "pastel";
    case BadgePalette::saturated:
        return "saturated";
    case BadgePalette::minimal:
        return "minimal";
    }
    return "pastel";
}

std::optional<BadgePalette> badgePaletteFromString(std::string_view text) {
    for (auto palette : {BadgePalette::pastel, BadgePalette::saturated, BadgePalette::minimal}) {
        if (toString(palette) == text) {
            return palette;
        }
    }
    return std::nullopt;
}

BadgePalette parseBadgePalette(std::string_view text) {
    if (auto palette = badgePaletteFromString(text)) {
        return *palette;
    }
    diagnostic("Invalid badge_palette '" + std::string(text) + "', using pastel");
    return BadgePalette::pastel;
}

} // namespace korvane
