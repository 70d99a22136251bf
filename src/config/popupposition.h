#pragma once

#include <optional>
#include <string_view>

namespace korvane {

// Where the popup opens relative to the caret or screen; read and written as its string.
// `automatic` is the "auto" case (a keyword in C++).
enum class PopupPosition { automatic, topLeft, topRight, bottomLeft, bottomRight, center, bottomCenter };

std::string_view toString(PopupPosition position);
// Exact, case-sensitive match of one of the seven strings.
std::optional<PopupPosition> popupPositionFromString(std::string_view text);

} // namespace korvane
