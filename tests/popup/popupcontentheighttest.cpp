#include "popup/popupcontentheight.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

TEST(PopupContentHeightTest, FloorsCapsAndExemptions) {
    const auto input = [](PopupMode mode, bool compact, std::size_t rows, std::size_t floor, bool detail,
                          std::size_t headers = 0) {
        PopupContentHeightInput in;
        in.mode = mode;
        in.isCompactEmpty = compact;
        in.rowCount = rows;
        in.sessionRowFloor = floor;
        in.isDetailColumnVisible = detail;
        in.headerCount = headers;
        in.minimumHeight = 6 * 32;
        return in;
    };
    struct Case {
        const char* name;
        PopupContentHeightInput in;
        double height;
    } cases[] = {
        {"three results sit on the six-row floor", input(PopupMode::search, false, 3, 0, false), 240},
        {"the cap holds 25 rows to ten", input(PopupMode::search, false, 25, 0, false), 368},
        {"a session floor beats the cap", input(PopupMode::search, false, 25, 12, false), 432},
        {"compact empty has no floor and no minimum", input(PopupMode::search, true, 0, 0, false), 48},
        {"compact empty ignores the session floor", input(PopupMode::search, true, 0, 9, false), 48},
        {"headers add their rows", input(PopupMode::search, false, 3, 0, false, 2), 284},
        {"outside search no bar and no session floor", input(PopupMode::browser, false, 2, 12, false), 204},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(popupContentHeight(c.in), c.height) << c.name;
    }
    auto small = input(PopupMode::browser, false, 0, 0, false);
    small.minimumHeight = 500;
    EXPECT_DOUBLE_EQ(popupContentHeight(small), 500);
    small.isDetailColumnVisible = true;
    EXPECT_DOUBLE_EQ(popupContentHeight(small), 204);
}

} // namespace
} // namespace korvane
