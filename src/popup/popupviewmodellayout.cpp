#include "popup/popupviewmodel.h"

#include "popup/popupcontentheight.h"
#include "popup/popuptheme.h"

#include <algorithm>

namespace korvane {

// The popup's size rules: its width by mode and detail column, and the heights of the browser and
// the search list that its height follows.

double PopupViewModel::popupWidth() const {
    switch (mode_) {
    case PopupMode::browser:
        return browserSidebarWidth + 1 + browserItemsWidth;
    case PopupMode::help:
        return PopupTheme::listWidth(themeConfig_);
    case PopupMode::search:
        break;
    }
    double width = PopupTheme::listWidth(themeConfig_);
    if (isDetailColumnVisible()) {
        width += 1 + themeConfig_.detailWidth;
    }
    return width;
}

double PopupViewModel::browserHeight() const {
    std::size_t mostItems = 0;
    for (const SnippetSection& section : sections_) {
        if (!section.isCategory()) {
            continue;
        }
        const std::size_t items = !section.results.empty() ? section.results.size()
                                  : section.helpText       ? 1
                                                           : 0;
        mostItems = std::max(mostItems, items);
    }
    const std::size_t rows =
        std::clamp(std::max(mostItems, categories().size()), static_cast<std::size_t>(minVisibleRows),
                   static_cast<std::size_t>(maxVisibleRows));
    const double rowHeight = themeConfig_.rowHeight;
    const double height = rowHeight * static_cast<double>(rows) + 2 * verticalPadding + statusBarHeight;
    return std::max(height, rowHeight * minVisibleRows);
}

double PopupViewModel::searchListHeight() const {
    PopupContentHeightInput input;
    input.mode = mode_;
    const SearchEmptyState* empty = viewState_.emptyState();
    input.isCompactEmpty = empty && empty->style == SearchEmptyState::Style::compact;
    input.rowCount = searchPresentation_ ? searchPresentation_->rows.size() : viewState_.resultList().size();
    input.maxVisibleRows = maxVisibleRows;
    input.minVisibleRows = minVisibleRows;
    input.sessionRowFloor = static_cast<std::size_t>(std::max(searchSessionRowFloor_, 0));
    input.rowHeight = themeConfig_.rowHeight;
    input.verticalPadding = verticalPadding;
    input.headerCount = sections_.size() + (isRefreshing_ ? 1 : 0);
    input.headerRowHeight = headerRowHeight;
    input.searchBarHeight = searchBarHeight;
    input.minimumHeight = themeConfig_.rowHeight * minVisibleRows;
    input.isDetailColumnVisible = isDetailColumnVisible();
    return popupContentHeight(input);
}

double PopupViewModel::popupHeight() const {
    switch (mode_) {
    case PopupMode::help:
        return helpHeight;
    case PopupMode::browser:
        return browserHeight();
    case PopupMode::search:
        break;
    }
    const double height = searchListHeight() + statusBarHeight;
    const SearchRow* row = selectedSearchRow();
    if (row && row->kind.asScope() && !searchSessionDetailSlotReserved_) {
        return std::max(height, scopeRowMinHeight);
    }
    return searchSessionDetailSlotReserved_ ? std::max(height, sessionDetailMinHeight_) : height;
}

} // namespace korvane
