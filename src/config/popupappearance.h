#pragma once

#include <optional>
#include <string_view>

namespace korvane {

// The colour scheme of the popup.
enum class PopupAppearance { dark, light };

std::string_view toString(PopupAppearance appearance);
// Exact, case-sensitive match of "dark" or "light".
std::optional<PopupAppearance> popupAppearanceFromString(std::string_view text);

} // namespace korvane
