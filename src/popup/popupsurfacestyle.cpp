#include "popup/popupsurfacestyle.h"

#include "popup/namedcolors.h"
#include "popup/resolvedsurface.h"

namespace korvane {

const PopupSurfaceStyle& PopupSurfaceStyle::glass() {
    static const PopupSurfaceStyle style = [] {
        const Color primary = namedColor(NamedColor::primary);
        PopupSurfaceStyle glass;
        glass.isGlass = true;
        glass.background = namedColor(NamedColor::clear);
        glass.textPrimary = primary;
        glass.textSecondary = namedColor(NamedColor::secondary);
        glass.textTertiary = namedColor(NamedColor::tertiaryLabel);
        glass.textQuaternary = namedColor(NamedColor::quaternaryLabel);
        glass.statusContext = namedColor(NamedColor::tertiaryLabel);
        glass.statusHints = namedColor(NamedColor::secondary);
        glass.statusBackground = withOpacity(primary, 0.05);
        glass.selection = withOpacity(primary, 0.12);
        glass.border = withOpacity(primary, 0.08);
        return glass;
    }();
    return style;
}

PopupSurfaceStyle PopupSurfaceStyle::solid(const ThemeConfig& theme) {
    const Color font = theme.fontColor;
    PopupSurfaceStyle solid;
    solid.isGlass = false;
    solid.background = theme.appearance == PopupAppearance::dark ? grey(0.16, 0.95) : grey(0.97, 0.97);
    solid.textPrimary = font;
    solid.textSecondary = withOpacity(font, 0.6);
    solid.textTertiary = withOpacity(font, 0.4);
    solid.textQuaternary = withOpacity(font, 0.25);
    solid.statusContext = withOpacity(font, 0.4);
    solid.statusHints = withOpacity(font, 0.45);
    solid.statusBackground = namedColor(NamedColor::clear);
    solid.selection = withOpacity(font, 0.12);
    solid.border = withOpacity(font, 0.08);
    return solid;
}

ResolvedSurface PopupSurfaceStyle::resolve(const ThemeConfig& theme, bool glassSupported,
                                           bool reduceTransparency) {
    ResolvedSurface resolved;
    resolved.glassUnavailableReason =
        ResolvedSurface::unavailableReason(theme, glassSupported, reduceTransparency);
    if (theme.material == PopupMaterial::glass && glassSupported && !reduceTransparency) {
        resolved.surface = glass();
        resolved.isEffectiveGlass = true;
    } else {
        resolved.surface = solid(theme);
        resolved.isEffectiveGlass = false;
    }
    return resolved;
}

std::optional<std::string> ResolvedSurface::unavailableReason(const ThemeConfig& theme, bool glassSupported,
                                                              bool reduceTransparency) {
    if (theme.material == PopupMaterial::solid) {
        return std::nullopt;
    }
    if (!glassSupported) {
        return "Requires macOS 26";
    }
    if (reduceTransparency) {
        return "Disabled by Reduce Transparency";
    }
    return std::nullopt;
}

} // namespace korvane
