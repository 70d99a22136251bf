#include "config/popupappearance.h"

namespace korvane {

std::string_view toString(PopupAppearance appearance) {
    return appearance == PopupAppearance::dark ? "dark" : "light";
}

std::optional<PopupAppearance> popupAppearanceFromString(std::string_view text) {
    if (text == "dark") {
        return PopupAppearance::dark;
    }
    if (text == "light") {
        return PopupAppearance::light;
    }
    return std::nullopt;
}

} // namespace korvane
