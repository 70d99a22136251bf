#pragma once

#include "config/popupappearance.h"
#include "config/popupmaterial.h"
#include "config/settingsconfig.h"

#include <optional>
#include <string_view>

namespace korvane {

// The preferences page's three-way choice of the popup's look, standing for the material and
// appearance settings behind it: Glass sets only the material, Dark and Light a solid surface in
// that appearance. A value.
enum class AppearanceChoice { glass, dark, light };

std::string_view toString(AppearanceChoice choice);
// Exactly "glass", "dark" or "light".
std::optional<AppearanceChoice> appearanceChoiceFromString(std::string_view text);

// The choice shown for the stored fields: an absent material is glass where glass is supported and
// solid elsewhere; glass wins whatever the appearance; else light for light, dark for dark or absent.
AppearanceChoice appearanceChoice(std::optional<PopupMaterial> material,
                                  std::optional<PopupAppearance> appearance, bool glassSupported);
// Writes a choice into the settings: Glass only the material, Dark and Light both fields.
void applyAppearanceChoice(AppearanceChoice choice, SettingsConfig& settings);

} // namespace korvane
