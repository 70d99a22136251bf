#include "platform/accessiblecaretlocator.h"

namespace korvane {

std::optional<ScreenRect> AccessibleCaretLocator::caretRect() {
    const auto element = text_.focusedElement();
    if (!element) {
        return std::nullopt;
    }
    auto rect = element->caretBounds();
    if (!rect || !rect->isFinite() ||
        (rect->x == 0 && rect->y == 0 && rect->width == 0 && rect->height == 0)) {
        return std::nullopt;
    }
    const ScreenPoint origin = primaryTopLeft_ ? primaryTopLeft_() : ScreenPoint{};
    rect->x -= origin.x;
    rect->y -= origin.y;
    return rect;
}

} // namespace korvane
