#include "settings/views/categoriesconfigurationview.h"

#include "settings/views/categoryrow.h"
#include "uikit/animations.h"
#include "uikit/kitcolors.h"
#include "uikit/kittoolbutton.h"
#include "uikit/symbolicon.h"

#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

namespace korvane {
namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// What a dragged row carries: its offset in the list.
const char* const rowMimeType = "application/x-korvane-source-row";

} // namespace

CategoriesConfigurationView::CategoriesConfigurationView(std::shared_ptr<ConfigurationViewModel> viewModel,
                                                         QWidget* parent)
    : QFrame(parent)
    , viewModel_(std::move(viewModel)) {
    setObjectName(QStringLiteral("sources"));
    setAccessibleName(QStringLiteral("Providers"));
    setFrameShape(QFrame::StyledPanel);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    setAcceptDrops(true);
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(1, 1, 1, 1);
    column_->setSpacing(0);
    dropLine_ = new QFrame(this);
    dropLine_->setObjectName(QStringLiteral("dropLine"));
    dropLine_->setFixedHeight(2);
    dropLine_->setAutoFillBackground(true);
    QPalette line = dropLine_->palette();
    line.setColor(QPalette::Window, KitColors::accent(*this));
    dropLine_->setPalette(line);
    dropLine_->hide();
    setMinimumHeight(200);
    refresh();
}

std::vector<CategoriesConfigurationView::CategoryDisplayItem>
CategoriesConfigurationView::displayItems(const ConfigurationViewModel& viewModel) {
    std::vector<CategoryDisplayItem> items;
    for (const std::string& id : viewModel.enabledCategoryIds()) {
        items.push_back({id, true});
    }
    for (const std::string& id : viewModel.hiddenCategoryIds()) {
        items.push_back({id, false});
    }
    return items;
}

std::optional<std::vector<std::string>>
CategoriesConfigurationView::movedShownIds(const std::vector<std::string>& shown,
                                           const std::vector<std::size_t>& sources, std::size_t destination) {
    const std::size_t n = shown.size();
    std::set<std::size_t> kept;
    for (std::size_t source : sources) {
        if (source < n) {
            kept.insert(source);
        }
    }
    if (kept.empty() || destination > n) {
        return std::nullopt;
    }
    // The moved rows keep their order and land where `destination` stood before the move.
    std::vector<std::string> moved;
    std::vector<std::string> rest;
    std::size_t insertAt = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (kept.count(i)) {
            moved.push_back(shown[i]);
        } else {
            rest.push_back(shown[i]);
            if (i < destination) {
                ++insertAt;
            }
        }
    }
    rest.insert(rest.begin() + static_cast<std::ptrdiff_t>(insertAt), moved.begin(), moved.end());
    return rest;
}

void CategoriesConfigurationView::refresh() {
    // The keyboard stays on the same source's row or eye button, in the row made for it anew. Meanwhile
    // the list holds it: a focused row that goes would hand it on to the next control, and scroll the
    // page there.
    const std::optional<FocusedPart> focused = focusedPart();
    if (focused) {
        setFocus(Qt::OtherFocusReason);
    }
    // A row may be running the click that caused this: the old rows go once control returns.
    for (QWidget* row : rows_) {
        row->hide();
        row->deleteLater();
    }
    rows_.clear();
    while (QLayoutItem* item = column_->takeAt(0)) {
        delete item;
    }
    const CategoryCatalogSnapshot catalog = viewModel_->categoryCatalog();
    const std::vector<CategoryDisplayItem> items = displayItems(*viewModel_);
    shownRows_ = static_cast<std::size_t>(std::count_if(
        items.begin(), items.end(), [](const CategoryDisplayItem& item) { return item.isVisible; }));
    for (std::size_t i = 0; i < items.size(); ++i) {
        CategoryRow* row = makeRow(items[i], catalog);
        row->setMoves(i > 0 && i < shownRows_, i + 1 < shownRows_);
        rows_.push_back(row);
        column_->addWidget(row);
        row->show();
    }
    column_->addStretch(1);
    orderFocus();
    if (focused) {
        giveFocusBack(*focused);
    }
    // Tall enough to show every source, and never below 200.
    setMinimumHeight(std::max(200, column_->sizeHint().height()));
}

void CategoriesConfigurationView::orderFocus() {
    // Rows made anew join the end of the window's Tab chain: they go back after the last control
    // that stands before the list.
    QWidget* previous = previousInFocusChain();
    while (previous && previous != this && !previous->isWindow() &&
           (!(previous->focusPolicy() & Qt::TabFocus) || isAncestorOf(previous))) {
        previous = previous->previousInFocusChain();
    }
    if (!previous || previous == this || previous->isWindow()) {
        return;
    }
    for (CategoryRow* row : rows_) {
        QWidget::setTabOrder(previous, row);
        previous = row;
        if (auto* eye = row->findChild<QToolButton*>(QStringLiteral("eye"))) {
            QWidget::setTabOrder(previous, eye);
            previous = eye;
        }
    }
}

std::optional<CategoriesConfigurationView::FocusedPart> CategoriesConfigurationView::focusedPart() const {
    QWidget* focus = QApplication::focusWidget();
    for (const CategoryRow* row : rows_) {
        if (focus && (focus == row || row->isAncestorOf(focus))) {
            return FocusedPart{row->id(), focus != row};
        }
    }
    return std::nullopt;
}

void CategoriesConfigurationView::giveFocusBack(const FocusedPart& part) {
    CategoryRow* target = row(part.id);
    if (!target) {
        return;
    }
    auto* eye = part.onEye ? target->findChild<QToolButton*>(QStringLiteral("eye")) : nullptr;
    if (eye) {
        eye->setFocus(Qt::OtherFocusReason);
    } else {
        target->setFocus(Qt::OtherFocusReason);
    }
}

CategoryRow* CategoriesConfigurationView::makeRow(const CategoryDisplayItem& item,
                                                  const CategoryCatalogSnapshot& catalog) {
    auto* widget = new CategoryRow(item.id, this);
    widget->setObjectName(qs("source:" + item.id));
    widget->onMove = [this](const std::string& id, int step) { moveRow(id, step); };
    if (item.isVisible) {
        widget->setCursor(Qt::OpenHandCursor);
    }
    auto* row = new QHBoxLayout(widget);
    row->setContentsMargins(8, 4, 8, 4);
    const auto definition = catalog.definition(item.id);
    // An id without a definition is drawn empty.
    const QString label = definition ? qs(definition->label) : QString();
    const QString description = definition ? qs(definition->description) : QString();
    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    auto* title = new QLabel(label, widget);
    title->setObjectName(QStringLiteral("label"));
    QFont font = title->font();
    font.setStrikeOut(!item.isVisible);
    title->setFont(font);
    QPalette palette = title->palette();
    palette.setColor(QPalette::WindowText,
                     item.isVisible ? KitColors::primaryText(*this) : KitColors::secondaryText(*this));
    title->setPalette(palette);
    auto* caption = new QLabel(description, widget);
    caption->setObjectName(QStringLiteral("description"));
    QFont small = caption->font();
    if (small.pixelSize() > 0) {
        small.setPixelSize(std::max(9, small.pixelSize() * 85 / 100));
    } else {
        small.setPointSizeF(small.pointSizeF() * 0.85);
    }
    caption->setFont(small);
    QPalette secondary = caption->palette();
    secondary.setColor(QPalette::WindowText, KitColors::secondaryText(*this));
    caption->setPalette(secondary);
    texts->addWidget(title);
    texts->addWidget(caption);
    widget->setAccessibleName(label);
    widget->setAccessibleDescription(description);
    row->addLayout(texts, 1);
    auto* eye = new KitToolButton(widget);
    eye->setObjectName(QStringLiteral("eye"));
    eye->setAutoRaise(true);
    eye->setIcon(item.isVisible ? SymbolIcon::icon("eye", QColor(0, 122, 255), 16)
                                : SymbolIcon::icon("eye.slash", KitColors::secondaryText(*this), 16));
    eye->setAccessibleName((item.isVisible ? QStringLiteral("Hide ") : QStringLiteral("Show ")) + label);
    const std::string id = item.id;
    connect(eye, &QToolButton::clicked, this, [this, id] { toggle(id); });
    row->addWidget(eye);
    return widget;
}

void CategoriesConfigurationView::toggle(const std::string& id) {
    viewModel_->toggleCategory(id);
    // The row fades in at its new place (the list is rebuilt as the draft changes).
    const QString name = qs("source:" + id);
    for (QWidget* row : rows_) {
        if (row->objectName() == name) {
            Animations::fadeIn(row, Animations::toggleMilliseconds);
        }
    }
}

void CategoriesConfigurationView::move(const std::vector<std::size_t>& sources, std::size_t destination) {
    if (auto moved = movedShownIds(viewModel_->enabledCategoryIds(), sources, destination)) {
        viewModel_->setCategoryOrder(std::move(*moved));
    }
}

void CategoriesConfigurationView::moveRow(const std::string& id, int step) {
    const std::vector<std::string> shown = viewModel_->enabledCategoryIds();
    const auto at = std::find(shown.begin(), shown.end(), id);
    if (at == shown.end() || step == 0 || (step < 0 && at == shown.begin())) {
        return;
    }
    const auto index = static_cast<std::size_t>(at - shown.begin());
    // The destination counts places before the move, as a drop does: one down lands past the next row.
    move({index}, step < 0 ? index - 1 : index + 2);
}

CategoryRow* CategoriesConfigurationView::row(const std::string& id) const {
    const auto found =
        std::find_if(rows_.begin(), rows_.end(), [&](const CategoryRow* row) { return row->id() == id; });
    return found == rows_.end() ? nullptr : *found;
}

std::optional<std::size_t> CategoriesConfigurationView::rowAt(const QPoint& point) const {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i]->geometry().contains(point)) {
            return i;
        }
    }
    return std::nullopt;
}

std::size_t CategoriesConfigurationView::destinationAt(int y) const {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (y < rows_[i]->geometry().center().y()) {
            return i;
        }
    }
    return rows_.size();
}

bool CategoriesConfigurationView::carriesRow(const QDropEvent& event) const {
    return event.source() == this && event.mimeData()->hasFormat(QLatin1String(rowMimeType));
}

void CategoriesConfigurationView::mousePressEvent(QMouseEvent* event) {
    // Presses on a row's texts come here; its eye button takes its own.
    const auto row = rowAt(event->position().toPoint());
    pressedRow_ = row && *row < shownRows_ ? row : std::nullopt;
    pressedAt_ = event->position().toPoint();
    event->setAccepted(pressedRow_.has_value());
}

void CategoriesConfigurationView::mouseMoveEvent(QMouseEvent* event) {
    if (!pressedRow_ || !(event->buttons() & Qt::LeftButton) ||
        (event->position().toPoint() - pressedAt_).manhattanLength() < QApplication::startDragDistance()) {
        return;
    }
    QWidget* row = rows_[*pressedRow_];
    auto* mime = new QMimeData;
    mime->setData(QLatin1String(rowMimeType), QByteArray::number(static_cast<qulonglong>(*pressedRow_)));
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->setPixmap(row->grab());
    drag->setHotSpot(pressedAt_ - row->pos());
    pressedRow_.reset();
    drag->exec(Qt::MoveAction);
}

void CategoriesConfigurationView::dragEnterEvent(QDragEnterEvent* event) {
    event->setAccepted(carriesRow(*event));
}

void CategoriesConfigurationView::dragMoveEvent(QDragMoveEvent* event) {
    const std::size_t destination = destinationAt(event->position().toPoint().y());
    // Only the shown rows take a drop; below them the move would be ignored.
    if (!carriesRow(*event) || destination > shownRows_ || rows_.empty()) {
        dropLine_->hide();
        event->ignore();
        return;
    }
    const int y = destination < rows_.size() ? rows_[destination]->y() : rows_.back()->geometry().bottom();
    dropLine_->setGeometry(1, std::max(0, y - 1), width() - 2, 2);
    dropLine_->show();
    dropLine_->raise();
    event->acceptProposedAction();
}

void CategoriesConfigurationView::dragLeaveEvent(QDragLeaveEvent*) {
    dropLine_->hide();
}

void CategoriesConfigurationView::dropEvent(QDropEvent* event) {
    dropLine_->hide();
    if (!carriesRow(*event)) {
        event->ignore();
        return;
    }
    bool read = false;
    const auto source = event->mimeData()->data(QLatin1String(rowMimeType)).toULongLong(&read);
    // The rows never move themselves: the view model's order decides, and the rows are rebuilt.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    if (read) {
        move({static_cast<std::size_t>(source)}, destinationAt(event->position().toPoint().y()));
    }
}

} // namespace korvane
