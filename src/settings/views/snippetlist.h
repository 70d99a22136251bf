#pragma once

#include "settings/configurationviewmodel.h"

#include <QPointer>
#include <QScrollArea>
#include <functional>
#include <optional>
#include <vector>

namespace korvane {

class SnippetRowCollapsed;

// The scrolling list of the snippets page. It builds row widgets only for the snippets in view (and
// one beyond each end, so that Tab can walk on), and shows other snippets in the same few widgets
// as the list scrolls, so that a scope of thousands of snippets opens and filters at once. An editor
// stands in place of one row or after the last; an empty state stands alone. Rows are 1 px apart.
// Main thread.
class SnippetList final : public QScrollArea {
    Q_OBJECT

public:
    using Row = ConfigurationViewModel::SnippetRow;

    SnippetList(std::function<void(const Row&)> onEdit, std::function<void(const Row&)> onDelete,
                QWidget* parent = nullptr);

    // Where the editor and the empty state are made: the list places and shows them.
    QWidget* canvas() const { return canvas_; }
    // Shows `rows`. `editor`, when given, stands in place of rows[editorAt], or after the last row
    // when `editorAt` is rows.size(). `emptyState`, when given, is shown alone. With `scrollTop`, the
    // list shows the new content scrolled to that height; otherwise it keeps its scroll position.
    void setContent(std::vector<Row> rows, QWidget* editor, std::size_t editorAt, QWidget* emptyState,
                    std::optional<int> scrollTop = std::nullopt);
    // How far the list is scrolled.
    int scrollTop() const;
    // Scrolls until `widget`, a child of the canvas, is in view.
    void scrollTo(QWidget* widget);
    // Scrolls the row of the snippet at `index` of the scope into view and puts the keyboard focus
    // on its line; false when no row shows that snippet (it is not listed, or its editor is open).
    bool focusRow(std::size_t index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // One reusable row widget and the row it shows, if any.
    struct Slot {
        SnippetRowCollapsed* widget = nullptr;
        std::optional<Row> row;
    };

    // The rows and the editor, in the order they stand.
    std::size_t itemCount() const;
    bool isEditor(std::size_t item) const { return editor_ && item == editorAt_; }
    // The top of `item`; itemTop(itemCount()) is one spacing below the last item.
    int itemTop(std::size_t item) const;
    // The item at height `y` of the canvas, clamped to the last one; there must be one.
    std::size_t itemAt(int y) const;
    void measure();
    void layOut();
    void bindRows(std::size_t first, std::size_t last, int width);
    // Moves the widgets of rows that stay in view to the slots `wanted` gives their rows.
    void keepWidgets(const std::vector<std::optional<std::size_t>>& wanted);
    void bind(Slot& slot, const Row& row);
    void growPool(std::size_t size);
    // Keyboard focus leaves `widget` for the list itself before the widget changes or goes.
    void releaseFocus(QWidget* widget);
    void orderFocus(std::size_t first, std::size_t last);
    QWidget* itemWidget(std::size_t item) const;
    // Tells assistive technology when the rows it is told of have changed.
    void tellReorder();

    std::function<void(const Row&)> onEdit_;
    std::function<void(const Row&)> onDelete_;
    QWidget* canvas_ = nullptr;
    std::vector<Row> rows_;
    QPointer<QWidget> editor_;
    std::size_t editorAt_ = 0;
    QPointer<QWidget> emptyState_;
    std::vector<Slot> slots_;
    int rowHeight_ = 0;
    int editorHeight_ = 0;
    std::optional<int> pendingScrollTop_;
    // The rows in view have changed since assistive technology was last told, and what it was told.
    bool reordered_ = false;
    std::vector<QWidget*> told_;
    bool layingOut_ = false;
};

} // namespace korvane
