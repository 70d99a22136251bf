#include "config/popupposition.h"

#include <array>
#include <utility>

namespace korvane {
namespace {

constexpr std::array<std::pair<PopupPosition, std::string_view>, 7> kNames{{
    {PopupPosition::automatic, "auto"},
    {PopupPosition::topLeft, "top-left"},
    {PopupPosition::topRight, "top-right"},
    {PopupPosition::bottomLeft, "bottom-left"},
    {PopupPosition::bottomRight, "bottom-right"},
    {PopupPosition::center, "center"},
    {PopupPosition::bottomCenter, "bottom-center"},
}};

} // namespace

std::string_view toString(PopupPosition position) {
    for (const auto& [value, name] : kNames) {
        if (value == position) {
            return name;
        }
    }
    return "auto";
}

std::optional<PopupPosition> popupPositionFromString(std::string_view text) {
    for (const auto& [value, name] : kNames) {
        if (name == text) {
            return value;
        }
    }
    return std::nullopt;
}

} // namespace korvane
