#include "popup/popupcontentheight.h"

#include <algorithm>

namespace korvane {

double popupContentHeight(const PopupContentHeightInput& input) {
    std::size_t floor = input.minVisibleRows;
    if (input.mode == PopupMode::search) {
        floor = input.isCompactEmpty ? 0 : std::max(input.minVisibleRows, input.sessionRowFloor);
    }
    const std::size_t rows = std::max(std::min(input.rowCount, input.maxVisibleRows), floor);
    double height = input.rowHeight * static_cast<double>(rows) + 2 * input.verticalPadding +
                    input.headerRowHeight * static_cast<double>(input.headerCount);
    if (input.mode == PopupMode::search) {
        height += input.searchBarHeight;
    }
    if (!input.isDetailColumnVisible && !input.isCompactEmpty) {
        height = std::max(height, input.minimumHeight);
    }
    return height;
}

} // namespace korvane
