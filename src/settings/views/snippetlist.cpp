#include "settings/views/snippetlist.h"

#include "settings/views/snippetrowcollapsed.h"
#include "uikit/animations.h"
#include "uikit/screenorderaccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QEvent>
#include <QScrollBar>
#include <algorithm>

namespace korvane {
namespace {

constexpr int spacing = 1;
constexpr int emptyStateHeight = 250;

} // namespace

SnippetList::SnippetList(std::function<void(const Row&)> onEdit, std::function<void(const Row&)> onDelete,
                         QWidget* parent)
    : QScrollArea(parent)
    , onEdit_(std::move(onEdit))
    , onDelete_(std::move(onDelete)) {
    setObjectName(QStringLiteral("snippetList"));
    // No Tab stop: it would hold the focus with nothing drawn and nothing said. A click still gives
    // it the focus, and it keeps its place in the Tab order, which its rows follow.
    setFocusPolicy(Qt::ClickFocus);
    setFrameShape(QFrame::NoFrame);
    setMinimumHeight(300);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    canvas_ = new QWidget(this);
    // Rows are reused out of order: assistive technology reads the canvas's shown children as they
    // stand on screen.
    ScreenOrderAccessible::install(*canvas_);
    // The scroll area watches its canvas (eventFilter).
    setWidget(canvas_);
    // Tab from outside the list lands on a row kept ready past an edge of the view: it comes into view.
    // Within the list, the scroll area follows the focus itself.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (now && canvas_->isAncestorOf(now) && !(old && canvas_->isAncestorOf(old))) {
            ensureWidgetVisible(now, 0, 0);
        }
    });
}

void SnippetList::setContent(std::vector<Row> rows, QWidget* editor, std::size_t editorAt,
                             QWidget* emptyState, std::optional<int> scrollTop) {
    rows_ = std::move(rows);
    pendingScrollTop_ = scrollTop;
    reordered_ = true;
    editor_ = editor;
    editorAt_ = editorAt;
    emptyState_ = emptyState;
    for (QWidget* widget : {editor, emptyState}) {
        if (widget) {
            widget->show();
        }
    }
    layOut();
}

int SnippetList::scrollTop() const {
    return verticalScrollBar()->value();
}

void SnippetList::scrollTo(QWidget* widget) {
    ensureWidgetVisible(widget, 0, 0);
}

bool SnippetList::focusRow(std::size_t index) {
    const auto listed =
        std::find_if(rows_.begin(), rows_.end(), [&](const Row& row) { return row.index == index; });
    const auto item = static_cast<std::size_t>(listed - rows_.begin());
    if (listed == rows_.end() || isEditor(item)) {
        return false;
    }
    // Only rows in view have widgets: the row is brought into view, which binds it, first.
    ensureVisible(0, itemTop(item) + rowHeight_ / 2, 0, rowHeight_ / 2);
    layOut();
    for (const Slot& slot : slots_) {
        if (slot.row && slot.row->index == index && slot.widget->isVisibleTo(this)) {
            slot.widget->focusLine();
            return true;
        }
    }
    return false;
}

bool SnippetList::eventFilter(QObject* watched, QEvent* event) {
    // A child whose size changes (the editor showing an error, or its link field) asks its parent
    // to lay out again.
    if (watched == canvas_ && event->type() == QEvent::LayoutRequest) {
        layOut();
    }
    return QScrollArea::eventFilter(watched, event);
}

void SnippetList::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    layOut();
}

void SnippetList::scrollContentsBy(int dx, int dy) {
    QScrollArea::scrollContentsBy(dx, dy);
    if (dy != 0) {
        layOut();
    }
}

std::size_t SnippetList::itemCount() const {
    return rows_.size() + (editor_ && editorAt_ == rows_.size() ? 1 : 0);
}

int SnippetList::itemTop(std::size_t item) const {
    const int top = static_cast<int>(item) * (rowHeight_ + spacing);
    return editor_ && item > editorAt_ ? top + editorHeight_ - rowHeight_ : top;
}

std::size_t SnippetList::itemAt(int y) const {
    const int pitch = rowHeight_ + spacing;
    std::size_t item = static_cast<std::size_t>(std::max(0, y) / pitch);
    if (editor_ && y >= itemTop(editorAt_)) {
        const int below = itemTop(editorAt_ + 1);
        item = y < below ? editorAt_ : editorAt_ + 1 + static_cast<std::size_t>((y - below) / pitch);
    }
    return std::min(item, itemCount() - 1);
}

void SnippetList::measure() {
    if (rowHeight_ == 0) {
        growPool(1);
        rowHeight_ = slots_.front().widget->sizeHint().height();
    }
    editorHeight_ = 0;
    if (editor_) {
        const int width = viewport()->width();
        editorHeight_ =
            editor_->hasHeightForWidth() ? editor_->heightForWidth(width) : editor_->sizeHint().height();
    }
}

void SnippetList::layOut() {
    // Resizing the canvas moves the scroll bar, which comes back here.
    if (layingOut_) {
        return;
    }
    layingOut_ = true;
    measure();
    const int width = viewport()->width();
    const std::size_t count = itemCount();
    int height = count == 0 ? 0 : itemTop(count) - spacing;
    if (emptyState_) {
        height = std::max(emptyStateHeight, emptyState_->sizeHint().height());
        emptyState_->setGeometry(0, 0, width, height);
    }
    canvas_->resize(width, std::max(height, viewport()->height()));
    // Scrolled once the canvas has its new height, so that the rows are bound only where they show.
    if (pendingScrollTop_) {
        verticalScrollBar()->setValue(*pendingScrollTop_);
        pendingScrollTop_.reset();
    }
    std::size_t first = 0;
    std::size_t last = 0;
    if (count > 0) {
        // One row beyond each end of the view, so that Tab reaches the next snippet and scrolls to it.
        const int pitch = rowHeight_ + spacing;
        const int top = verticalScrollBar()->value();
        first = itemAt(top - pitch);
        last = itemAt(top + viewport()->height() + pitch) + 1;
    }
    bindRows(first, last, width);
    if (editor_) {
        editor_->setGeometry(0, itemTop(editorAt_), width, editorHeight_);
    }
    orderFocus(first, last);
    tellReorder();
    layingOut_ = false;
}

void SnippetList::tellReorder() {
    // Rows told are those at least partly in view: scrolling alone changes them.
    if (QAccessible::isActive()) {
        std::vector<QWidget*> told = ScreenOrderAccessible::toldChildren(*canvas_);
        if (reordered_ || told != told_) {
            QAccessibleEvent reorder(canvas_, QAccessible::ObjectReorder);
            QAccessible::updateAccessibility(&reorder);
        }
        told_ = std::move(told);
    }
    reordered_ = false;
}

void SnippetList::bindRows(std::size_t first, std::size_t last, int width) {
    if (slots_.size() < last - first) {
        growPool(last - first);
    }
    // Row `item` always takes slot item % size, so a row that stays in view keeps its widget (and
    // its hover and focus) while the list scrolls.
    std::vector<std::optional<std::size_t>> wanted(slots_.size());
    for (std::size_t item = first; item < last; ++item) {
        if (!isEditor(item)) {
            wanted[item % slots_.size()] = item;
        }
    }
    keepWidgets(wanted);
    for (std::size_t index = 0; index < slots_.size(); ++index) {
        Slot& slot = slots_[index];
        if (!wanted[index]) {
            reordered_ = reordered_ || slot.row.has_value();
            releaseFocus(slot.widget);
            slot.widget->hide();
            slot.row.reset();
            continue;
        }
        const Row& row = rows_[*wanted[index]];
        if (slot.row != row) {
            bind(slot, row);
            reordered_ = true;
        }
        slot.widget->setGeometry(0, itemTop(*wanted[index]), width, rowHeight_);
        slot.widget->show();
    }
}

void SnippetList::keepWidgets(const std::vector<std::optional<std::size_t>>& wanted) {
    // Once the pool has grown, rows take other slots: a row still in view takes its widget along.
    // Rebound, the widget would drop the keyboard focus, which Tab had just brought there.
    for (std::size_t index = 0; index < slots_.size(); ++index) {
        if (!wanted[index] || slots_[index].row == rows_[*wanted[index]]) {
            continue;
        }
        const auto holder = std::find_if(slots_.begin(), slots_.end(),
                                         [&](const Slot& slot) { return slot.row == rows_[*wanted[index]]; });
        if (holder != slots_.end()) {
            std::swap(slots_[index], *holder);
        }
    }
}

void SnippetList::growPool(std::size_t size) {
    while (slots_.size() < size) {
        slots_.push_back({new SnippetRowCollapsed(ManualSnippet{}, {}, {}, canvas_), std::nullopt});
        slots_.back().widget->hide();
    }
}

void SnippetList::bind(Slot& slot, const Row& row) {
    releaseFocus(slot.widget);
    QPointer<SnippetList> list(this);
    QPointer<SnippetRowCollapsed> widget(slot.widget);
    slot.widget->setSnippet(
        row.snippet,
        [list, row] {
            if (list && list->onEdit_) {
                list->onEdit_(row);
            }
        },
        [list, widget, row] {
            if (!list) {
                return;
            }
            // The row leaves with a fade, if it still shows the snippet deleted.
            if (widget && widget->snippet() == row.snippet) {
                Animations::fadeOut(widget, Animations::toggleMilliseconds, Animations::Edge::leading);
            }
            if (list->onDelete_) {
                list->onDelete_(row);
            }
        });
    slot.row = row;
}

void SnippetList::releaseFocus(QWidget* widget) {
    QWidget* focus = window()->focusWidget();
    if (focus && widget->isAncestorOf(focus)) {
        setFocus(Qt::OtherFocusReason);
    }
}

void SnippetList::orderFocus(std::size_t first, std::size_t last) {
    // Widgets are reused out of order: Tab follows the items as they stand, right after the list.
    QWidget* previous = this;
    for (std::size_t item = first; item < last; ++item) {
        for (QWidget* child : itemWidget(item)->findChildren<QWidget*>()) {
            if (child->focusPolicy() & Qt::TabFocus) {
                QWidget::setTabOrder(previous, child);
                previous = child;
            }
        }
    }
}

QWidget* SnippetList::itemWidget(std::size_t item) const {
    return isEditor(item) ? editor_.data() : slots_[item % slots_.size()].widget;
}

} // namespace korvane
