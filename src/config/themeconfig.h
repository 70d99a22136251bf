#pragma once

#include "config/badgepalette.h"
#include "model/color.h"
#include "config/popupappearance.h"
#include "config/popupmaterial.h"
#include "config/settingsconfig.h"

#include <optional>
#include <string_view>

namespace korvane {

// The look of the popup, resolved from the appearance settings with their defaults and limits.
// A value; built on the main thread and handed to the popup.
struct ThemeConfig {
    double fontSize = 16;
    Color fontColor = Color::white();
    double rowPadding = 7;
    double rowHeight = 32;
    BadgePalette badgePalette = BadgePalette::minimal;
    std::optional<double> popupWidth;
    double detailWidth = 270;
    PopupMaterial material = PopupMaterial::solid;
    PopupAppearance appearance = PopupAppearance::dark;

    // Six hexadecimal digits for red, green and blue, "#" and surrounding white space ignored;
    // anything else gives no colour.
    static std::optional<Color> colorFromHex(std::string_view text);

    // Unknown texts are logged and replaced by defaults; `supportsGlass` decides the default material.
    static ThemeConfig fromSettings(const SettingsConfig& settings, bool supportsGlass);

    bool operator==(const ThemeConfig&) const = default;
};

} // namespace korvane
