#pragma once

#include "model/searchresult.h"
#include "popup/views/accessiblerowset.h"
#include "popup/views/paintcontext.h"

#include <QPainter>
#include <QRectF>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The browser's right column: the selected category's items, the selected one on the selection
// plate with its inline detail under it when the view model expanded it; a loading placeholder
// while the category gathers, else the category's help text or "No items" when it is empty. The
// host keeps the scroll offset and centres the selected item when the index changes. Main thread.
class CategoryItemsView {
public:
    static constexpr double verticalInset = 4;
    static constexpr int detailMaxLines = 3;

    struct Input {
        std::vector<SearchResult> items;
        int selectedIndex = 0;
        // From 0 (not focused) to 1 (focused) while the focus fades.
        double focus = 0;
        bool isLoading = false;
        std::optional<std::string> expandedSnippetID;
        std::optional<std::string> expandedDetailText;
        std::optional<std::string> helpText;
    };

    // One entry as laid out in content coordinates.
    struct Entry {
        double top = 0;
        double height = 0;
        bool showsDetail = false;
    };

    explicit CategoryItemsView(Input input)
        : input_(std::move(input)) {}

    void paint(QPainter& painter, const QRectF& rect, const PaintContext& context, double scrollOffset,
               double spinnerPhase) const;

    std::vector<Entry> layout(const PaintContext& context, double width) const;
    double contentHeight(const PaintContext& context, double width) const;
    // The offset that centres item `index` in a viewport of `viewportHeight`, within the scroll range;
    // nothing for an index outside the list.
    std::optional<double> centringOffset(const PaintContext& context, double width, double viewportHeight,
                                         int index) const;

    // The rows as assistive technology reads them, in `rect` scrolled by `scrollOffset`: the items,
    // each described by its inline detail when shown, or the placeholder's text.
    std::vector<AccessibleRow> accessibleRows(const PaintContext& context, const QRectF& rect,
                                              double scrollOffset) const;

private:
    enum class Content { loading, list, empty };
    std::string placeholderText() const;
    Content content() const;
    double detailHeight(const PaintContext& context, double width) const;

    Input input_;
};

} // namespace korvane
