#include "settings/views/configurationsidebar.h"

#include "uikit/kitcolors.h"
#include "uikit/symbolicon.h"

namespace korvane {

ConfigurationSidebar::ConfigurationSidebar(QWidget* parent)
    : QListWidget(parent) {
    setObjectName(QStringLiteral("sidebar"));
    setAccessibleName(QStringLiteral("Pages"));
    setFixedWidth(sidebarWidth);
    setFrameShape(QFrame::NoFrame);
    setIconSize(QSize(16, 16));
    setSpacing(2);
    const QColor ink = KitColors::primaryText(*this);
    auto* snippets =
        new QListWidgetItem(SymbolIcon::icon("text.quote", ink), QStringLiteral("Snippets"), this);
    snippets->setSizeHint(QSize(sidebarWidth - 8, 30));
    auto* preferences =
        new QListWidgetItem(SymbolIcon::icon("gearshape", ink), QStringLiteral("Preferences"), this);
    preferences->setSizeHint(QSize(sidebarWidth - 8, 30));
    setPage(ConfigurationPage::snippets);
    // The selection, not the current row: assistive technology selects a row without making it
    // current.
    connect(this, &QListWidget::itemSelectionChanged, this, [this] { followSelection(); });
}

int ConfigurationSidebar::rowOf(ConfigurationPage page) {
    return page == ConfigurationPage::snippets ? 0 : 1;
}

void ConfigurationSidebar::setPage(ConfigurationPage page) {
    const QSignalBlocker quiet(this);
    page_ = page;
    const QModelIndex row = model()->index(rowOf(page), 0);
    selectionModel()->select(row, QItemSelectionModel::ClearAndSelect);
    followFocus();
}

void ConfigurationSidebar::followFocus() {
    // The page's row is the current one, where the arrow keys go on from, only while the sidebar has
    // the keyboard: assistive technology hears the current row as the one with the focus.
    const QModelIndex current = hasFocus() ? model()->index(rowOf(page_), 0) : QModelIndex();
    if (currentIndex() != current) {
        selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
    }
}

void ConfigurationSidebar::focusInEvent(QFocusEvent* event) {
    QListWidget::focusInEvent(event);
    followFocus();
}

void ConfigurationSidebar::focusOutEvent(QFocusEvent* event) {
    QListWidget::focusOutEvent(event);
    followFocus();
}

ConfigurationPage ConfigurationSidebar::page() const {
    return page_;
}

void ConfigurationSidebar::followSelection() {
    // A selection added to the old one (assistive technology) holds both rows; an emptied one (a
    // Ctrl+click, or a selection cleared before another is made) keeps the page shown.
    ConfigurationPage chosen = page_;
    for (const QListWidgetItem* item : selectedItems()) {
        if (row(item) != rowOf(page_)) {
            chosen = row(item) == 0 ? ConfigurationPage::snippets : ConfigurationPage::preferences;
        }
    }
    const bool changed = chosen != page_;
    setPage(chosen);
    if (changed && onPageChosen) {
        onPageChosen(chosen);
    }
}

} // namespace korvane
