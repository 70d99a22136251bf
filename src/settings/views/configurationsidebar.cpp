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
    setCurrentRow(0);
    connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && onPageChosen) {
            onPageChosen(row == 0 ? ConfigurationPage::snippets : ConfigurationPage::preferences);
        }
    });
}

void ConfigurationSidebar::setPage(ConfigurationPage page) {
    const QSignalBlocker quiet(this);
    setCurrentRow(page == ConfigurationPage::snippets ? 0 : 1);
}

ConfigurationPage ConfigurationSidebar::page() const {
    return currentRow() == 1 ? ConfigurationPage::preferences : ConfigurationPage::snippets;
}

} // namespace korvane
