#include "config/themeconfig.h"

#include "base/diagnostics.h"
#include "base/unicode.h"

#include <cstdint>
#include <string>

namespace korvane {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A configured value at or below `low` becomes `low`, then one above `high` becomes `high`.
double clamped(double value, double low, double high) {
    if (value <= low) {
        return low;
    }
    return value > high ? high : value;
}

std::optional<double> clamped(const std::optional<double>& value, double low, double high) {
    if (!value) {
        return std::nullopt;
    }
    return clamped(*value, low, high);
}

PopupMaterial resolveMaterial(const std::optional<std::string>& text, bool supportsGlass) {
    const PopupMaterial fallback = supportsGlass ? PopupMaterial::glass : PopupMaterial::solid;
    if (!text) {
        return fallback;
    }
    if (auto material = popupMaterialFromString(*text)) {
        return *material;
    }
    diagnostic("Invalid material '" + *text + "', using default");
    return fallback;
}

PopupAppearance resolveAppearance(const std::optional<std::string>& text) {
    if (!text) {
        return PopupAppearance::dark;
    }
    if (auto appearance = popupAppearanceFromString(*text)) {
        return *appearance;
    }
    diagnostic("Invalid appearance '" + *text + "', using default");
    return PopupAppearance::dark;
}

} // namespace

std::optional<Color> ThemeConfig::colorFromHex(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    std::string digits;
    for (char c : text) {
        if (c != '#') {
            digits.push_back(c);
        }
    }
    if (digits.size() != 6) {
        return std::nullopt;
    }
    std::uint32_t rgb = 0;
    for (char c : digits) {
        const int digit = asciiHexValue(c);
        if (digit < 0) {
            return std::nullopt;
        }
        rgb = (rgb << 4) | static_cast<std::uint32_t>(digit);
    }
    const auto channel = [rgb](int shift) { return static_cast<double>((rgb >> shift) & 0xFFu) / 255.0; };
    return Color{channel(16), channel(8), channel(0), 1.0};
}

ThemeConfig ThemeConfig::fromSettings(const SettingsConfig& settings, bool supportsGlass) {
    ThemeConfig theme;
    theme.fontSize = settings.fontSize.value_or(16);
    theme.rowPadding = clamped(settings.rowPadding, 0, 20).value_or(7);
    theme.rowHeight = clamped(settings.rowHeight, 24, 40).value_or(32);
    theme.popupWidth = clamped(settings.popupWidth, 300, 600);
    theme.detailWidth = clamped(settings.detailWidth, 180, 400).value_or(270);
    theme.material = resolveMaterial(settings.material, supportsGlass);
    theme.appearance = resolveAppearance(settings.appearance);
    theme.badgePalette =
        settings.badgePalette ? parseBadgePalette(*settings.badgePalette) : BadgePalette::minimal;

    std::optional<Color> fontColor;
    if (settings.fontColor) {
        fontColor = colorFromHex(*settings.fontColor);
    }
    const Color fallback =
        theme.appearance == PopupAppearance::dark ? Color::white() : Color{0.1, 0.1, 0.1, 1.0};
    theme.fontColor = fontColor.value_or(fallback);
    return theme;
}

} // namespace korvane
