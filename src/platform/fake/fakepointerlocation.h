#pragma once

#include "platform/pointerlocation.h"

namespace korvane {

// A pointer that a test places. Main thread.
class FakePointerLocation final : public PointerLocation {
public:
    ScreenPoint pointerLocation() override { return location; }

    ScreenPoint location;
};

} // namespace korvane
