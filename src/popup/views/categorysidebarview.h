#pragma once

#include "config/themeconfig.h"
#include "popup/popupviewmodel.h"
#include "popup/views/accessiblerowset.h"
#include "popup/views/paintcontext.h"

#include <QPainter>
#include <QRectF>
#include <string>
#include <vector>

namespace korvane {

// The browser's left column: one row per category with its dot, name, short alias and count (none
// while the category loads), the selected one on the selection plate, tinted and barred on its
// trailing edge while it has the keyboard focus. When the rows do not fit, the host scrolls it so that
// the selected row stays in view. Drawn by its host. Main thread.
class CategorySidebarView {
public:
    static constexpr double verticalInset = 4;

    CategorySidebarView(std::vector<PopupViewModel::Category> categories, int selectedIndex, double focus)
        : categories_(std::move(categories))
        , selectedIndex_(selectedIndex)
        , focus_(focus) {}

    // `focus` runs from 0 (not focused) to 1 (focused) while the focus fades.
    void paint(QPainter& painter, const QRectF& rect, const PaintContext& context, double scrollOffset) const;

    // The height of one row for the theme, and of all rows with the insets.
    static double rowHeight(const PaintContext& context);
    double contentHeight(const PaintContext& context) const;
    // The scroll offset that keeps the selected row in view, starting from `current`.
    double offsetKeepingSelectionVisible(const PaintContext& context, double viewportHeight,
                                         double current) const;

    // The rows as assistive technology reads them, in `rect` scrolled by `scrollOffset`.
    std::vector<AccessibleRow> accessibleRows(const PaintContext& context, const QRectF& rect,
                                              double scrollOffset) const;
    // What a category's row says: its name, its short alias when it has one, and its count ("loading"
    // while its items are on their way).
    static std::string accessibleName(const PopupViewModel::Category& category);

    static Color dotColor(const PopupViewModel::Category& category, bool isSelected, BadgePalette palette);
    static std::string shortAlias(const PopupViewModel::Category& category);

private:
    // Row `index` in `rect` scrolled by `scrollOffset`, rows `height` tall.
    static QRectF rowRect(std::size_t index, const QRectF& rect, double height, double scrollOffset);

    std::vector<PopupViewModel::Category> categories_;
    int selectedIndex_;
    double focus_;
};

// The tint and the 2 pt bar that mark the browser column with the keyboard focus; `focus` from 0 to 1.
void paintBrowserFocus(QPainter& painter, const QRectF& rect, double focus, bool barOnTrailingEdge);

} // namespace korvane
