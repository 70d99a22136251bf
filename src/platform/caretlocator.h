#pragma once

#include "platform/screengeometry.h"

#include <optional>

namespace korvane {

// Finds the text caret of the focused application. Main thread; asks the application with a short
// time limit and answers nothing when it does not tell.
class CaretLocator {
public:
    virtual ~CaretLocator() = default;

    // The caret's rectangle in top-left coordinates: origin at the top left of the primary screen, y
    // downwards, (x, y) its top-left corner. Never an empty zero rectangle.
    virtual std::optional<ScreenRect> caretRect() = 0;
};

} // namespace korvane
