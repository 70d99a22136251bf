#pragma once

#include "platform/caretlocator.h"

namespace korvane {

// A caret that a test places (top-left coordinates), or none. Main thread.
class FakeCaretLocator final : public CaretLocator {
public:
    std::optional<ScreenRect> caretRect() override {
        ++calls;
        return caret;
    }

    std::optional<ScreenRect> caret;
    int calls = 0;
};

} // namespace korvane
