#pragma once

#include <optional>
#include <string_view>

namespace korvane {

// The surface of the popup: translucent glass where the desktop can draw it, else a solid fill.
enum class PopupMaterial { glass, solid };

std::string_view toString(PopupMaterial material);
// Exact, case-sensitive match of "glass" or "solid".
std::optional<PopupMaterial> popupMaterialFromString(std::string_view text);

} // namespace korvane
