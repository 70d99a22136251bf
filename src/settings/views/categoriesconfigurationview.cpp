#include "settings/views/categoriesconfigurationview.h"

#include "uikit/animations.h"
#include "uikit/kitcolors.h"
#include "uikit/symbolicon.h"

#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

namespace korvane {
namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

CategoriesConfigurationView::CategoriesConfigurationView(std::shared_ptr<ConfigurationViewModel> viewModel,
                                                         QWidget* parent)
    : QListWidget(parent)
    , viewModel_(std::move(viewModel)) {
    setObjectName(QStringLiteral("sources"));
    setAccessibleName(QStringLiteral("Providers"));
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAlternatingRowColors(false);
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
    clear();
    const CategoryCatalogSnapshot catalog = viewModel_->categoryCatalog();
    for (const CategoryDisplayItem& item : displayItems(*viewModel_)) {
        auto* row = new QListWidgetItem(this);
        row->setData(Qt::UserRole, qs(item.id));
        const auto definition = catalog.definition(item.id);
        row->setData(Qt::AccessibleTextRole, definition ? qs(definition->label) : qs(item.id));
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (item.isVisible) {
            flags |= Qt::ItemIsDragEnabled;
        }
        row->setFlags(flags);
        QWidget* widget = makeRow(item, catalog);
        row->setSizeHint(widget->sizeHint());
        setItemWidget(row, widget);
    }
    // Tall enough to show every source without scrolling, and never below 200.
    int rows = 2 * frameWidth();
    for (int i = 0; i < count(); ++i) {
        rows += item(i)->sizeHint().height();
    }
    setMinimumHeight(std::max(200, rows));
}

QWidget* CategoriesConfigurationView::makeRow(const CategoryDisplayItem& item,
                                              const CategoryCatalogSnapshot& catalog) {
    auto* widget = new QWidget(this);
    widget->setObjectName(qs("source:" + item.id));
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
    row->addLayout(texts, 1);
    auto* eye = new QToolButton(widget);
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
    if (auto* row = findChild<QWidget*>(qs("source:" + id)); row && !row->isHidden()) {
        Animations::fadeIn(row, Animations::toggleMilliseconds);
    }
}

void CategoriesConfigurationView::move(const std::vector<std::size_t>& sources, std::size_t destination) {
    if (auto moved = movedShownIds(viewModel_->enabledCategoryIds(), sources, destination)) {
        viewModel_->setCategoryOrder(std::move(*moved));
    }
}

void CategoriesConfigurationView::dropEvent(QDropEvent* event) {
    // The list itself never moves its rows: the view model's order decides, and the rows are rebuilt.
    std::vector<std::size_t> sources;
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) {
        sources.push_back(static_cast<std::size_t>(index.row()));
    }
    const QModelIndex target = indexAt(event->position().toPoint());
    std::size_t destination = static_cast<std::size_t>(count());
    if (target.isValid()) {
        destination = static_cast<std::size_t>(target.row());
        if (dropIndicatorPosition() == QAbstractItemView::BelowItem) {
            ++destination;
        }
    }
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    move(sources, destination);
}

} // namespace korvane
