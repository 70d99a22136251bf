#pragma once

#include "platform/screenlist.h"

namespace korvane {

// Screens that a test sets. Main thread.
class FakeScreenList final : public ScreenList {
public:
    std::vector<ScreenInfo> screens() override { return list; }

    std::vector<ScreenInfo> list;
};

} // namespace korvane
