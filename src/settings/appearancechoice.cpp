#include "settings/appearancechoice.h"

namespace korvane {

std::string_view toString(AppearanceChoice choice) {
    switch (choice) {
    case AppearanceChoice::glass:
        return "glass";
    case AppearanceChoice::dark:
        return "dark";
    case AppearanceChoice::light:
        return "light";
    }
    return "dark";
}

std::optional<AppearanceChoice> appearanceChoiceFromString(std::string_view text) {
    for (AppearanceChoice choice :
         {AppearanceChoice::glass, AppearanceChoice::dark, AppearanceChoice::light}) {
        if (toString(choice) == text) {
            return choice;
        }
    }
    return std::nullopt;
}

AppearanceChoice appearanceChoice(std::optional<PopupMaterial> material,
                                  std::optional<PopupAppearance> appearance, bool glassSupported) {
    const PopupMaterial effective =
        material.value_or(glassSupported ? PopupMaterial::glass : PopupMaterial::solid);
    if (effective == PopupMaterial::glass) {
        return AppearanceChoice::glass;
    }
    return appearance == PopupAppearance::light ? AppearanceChoice::light : AppearanceChoice::dark;
}

void applyAppearanceChoice(AppearanceChoice choice, SettingsConfig& settings) {
    switch (choice) {
    case AppearanceChoice::glass:
        settings.material = std::string(toString(PopupMaterial::glass));
        return;
    case AppearanceChoice::dark:
        settings.material = std::string(toString(PopupMaterial::solid));
        settings.appearance = std::string(toString(PopupAppearance::dark));
        return;
    case AppearanceChoice::light:
        settings.material = std::string(toString(PopupMaterial::solid));
        settings.appearance = std::string(toString(PopupAppearance::light));
        return;
    }
}

} // namespace korvane
