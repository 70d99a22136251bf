#pragma once

#include "popup/popupmode.h"

#include <cstddef>

namespace korvane {

// The inputs of the search list's height rule.
struct PopupContentHeightInput {
    PopupMode mode = PopupMode::search;
    bool isCompactEmpty = false;
    std::size_t rowCount = 0;
    std::size_t maxVisibleRows = 10;
    std::size_t minVisibleRows = 6;
    std::size_t sessionRowFloor = 0;
    double rowHeight = 32;
    double verticalPadding = 6;
    std::size_t headerCount = 0;
    double headerRowHeight = 22;
    double searchBarHeight = 36;
    double minimumHeight = 0;
    bool isDetailColumnVisible = false;
};

// The height of the popup's list for these inputs, without the status bar: the visible rows (at
// least the floor, at most the most visible rows), the padding, the section headers and, in search
// mode, the search bar; raised to the least height unless the detail column shows or the empty
// state is compact.
double popupContentHeight(const PopupContentHeightInput& input);

} // namespace korvane
