#include "config/popupmaterial.h"

namespace korvane {

std::string_view toString(PopupMaterial material) {
    return material == PopupMaterial::glass ? "glass" : "solid";
}

std::optional<PopupMaterial> popupMaterialFromString(std::string_view text) {
    if (text == "glass") {
        return PopupMaterial::glass;
    }
    if (text == "solid") {
        return PopupMaterial::solid;
    }
    return std::nullopt;
}

} // namespace korvane
