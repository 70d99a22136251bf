#pragma once

#include "platform/accessibletext.h"
#include "platform/caretlocator.h"

#include <functional>

namespace korvane {

// Finds the caret through the focused text element of the accessibility interface and reports it
// relative to the primary screen's top left. Main thread.
class AccessibleCaretLocator final : public CaretLocator {
public:
    // `primaryTopLeft` tells where the primary screen's top left lies in root-window coordinates.
    AccessibleCaretLocator(AccessibleText& text, std::function<ScreenPoint()> primaryTopLeft)
        : text_(text)
        , primaryTopLeft_(std::move(primaryTopLeft)) {}

    std::optional<ScreenRect> caretRect() override;

private:
    AccessibleText& text_;
    std::function<ScreenPoint()> primaryTopLeft_;
};

} // namespace korvane
