#pragma once

#include "popup/popupviewmodel.h"
#include "popup/views/accessiblerowset.h"
#include "popup/views/paintcontext.h"
#include "popup/views/snippetrowview.h"

#include <QRectF>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The popup's result list in search mode: the refreshing banner, then the installed presentation's
// rows (section headers, scopes, snippets) under its message, or the plain results, or the empty
// message. Rows have their own heights; only the rows in view are painted. It scrolls the view
// model's scroll target into the middle and keeps the selected row in view when the rows are
// replaced. Main thread.
class SearchResultListView {
public:
    static constexpr double bannerHeight = 22;
    static constexpr double bodyInset = 6;
    static constexpr double messageInset = 8;

    enum class RowKind { sectionHeader, scope, snippet };

    // One row of the list as laid out, in content coordinates (0 at the top of the scrolled body).
    struct Row {
        RowKind kind = RowKind::snippet;
        std::string id;
        double top = 0;
        double height = 0;
        bool isSelected = false;
        // Copies, so that a row outlives the view model's next change.
        std::optional<SearchRow> searchRow;
        std::optional<PopupViewModel::DisplayableResult> result;

        // What the row says to assistive technology.
        std::string accessibleName() const;
    };

    // Lays the list out for the view model's state within a viewport of `rect` and applies the
    // scroll rules.
    void update(const PopupViewModel& model, const PaintContext& context, const QRectF& rect);
    void paint(QPainter& painter, const PaintContext& context, const LabelCacheFunction& labelCache,
               double spinnerPhase) const;

    const std::vector<Row>& rows() const { return rows_; }
    double scrollOffset() const { return scrollOffset_; }
    // Where a row stands in the host's coordinates now, in view or scrolled out of it.
    QRectF placedRect(const Row& row) const;
    // The same, or nothing when it is out of view.
    std::optional<QRectF> visibleRect(const Row& row) const;
    // The rows as assistive technology reads them, in order.
    std::vector<AccessibleRow> accessibleRows() const;
    bool scrolls() const { return scrollable_; }

private:
    QRectF scrollViewport() const;
    double contentHeight() const;
    void centreOn(const std::string& id);
    const Row* rowWithID(const std::string& id) const;
    void paintRow(QPainter& painter, const Row& row, const QRectF& rect, const PaintContext& context,
                  const LabelCacheFunction& labelCache) const;
    double messageHeight(const std::string& text, const PaintContext& context, double width) const;

    QRectF rect_;
    bool refreshing_ = false;
    bool scrollable_ = true;
    std::optional<std::string> message_;
    std::optional<std::string> emptyMessage_;
    double messageBlock_ = 0;
    std::vector<Row> rows_;
    double scrollOffset_ = 0;
    bool appeared_ = false;
    std::optional<std::string> lastTarget_;
    std::vector<std::string> lastRowIDs_;
};

} // namespace korvane
