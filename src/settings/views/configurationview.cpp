#include "settings/views/configurationview.h"

#include "settings/views/configurationfooter.h"
#include "settings/views/configurationsidebar.h"
#include "settings/views/preferencestabview.h"
#include "settings/views/snippetrowexpanded.h"
#include "settings/views/snippetstabview.h"
#include "uikit/animations.h"
#include "uikit/kitcolors.h"
#include "uikit/kittoolbutton.h"
#include "uikit/symbolicon.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace korvane {

ConfigurationView::ConfigurationView(std::shared_ptr<ConfigurationViewModel> viewModel,
                                     const ConfigurationServices& services, QWidget* parent)
    : QWidget(parent)
    , viewModel_(viewModel) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* columns = new QHBoxLayout;
    columns->setSpacing(0);
    sidebar_ = new ConfigurationSidebar(this);
    columns->addWidget(sidebar_);
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::VLine);
    columns->addWidget(divider);

    auto* detail = new QVBoxLayout;
    detail->setContentsMargins(0, 0, 0, 0);
    detail->setSpacing(0);
    // The desktop's title bar has no room for a toolbar button; it leads the detail column instead.
    sidebarToggle_ = new KitToolButton(this);
    sidebarToggle_->setObjectName(QStringLiteral("toggleSidebar"));
    sidebarToggle_->setAccessibleName(QStringLiteral("Toggle Sidebar"));
    sidebarToggle_->setToolTip(QStringLiteral("Toggle Sidebar"));
    sidebarToggle_->setIcon(SymbolIcon::icon("sidebar.leading", KitColors::secondaryText(*this), 16));
    sidebarToggle_->setAutoRaise(true);
    sidebarToggle_->setExpanded(true);
    auto* toolbar = new QHBoxLayout;
    toolbar->setContentsMargins(8, 6, 8, 0);
    toolbar->addWidget(sidebarToggle_);
    toolbar->addStretch(1);
    detail->addLayout(toolbar);

    pages_ = new QStackedWidget(this);
    pages_->setObjectName(QStringLiteral("pages"));
    snippets_ = new SnippetsTabView(viewModel, services, pages_);
    preferences_ = new PreferencesTabView(viewModel, services, pages_);
    // The preferences form is taller than the window; it scrolls.
    auto* preferencesScroll = new QScrollArea(pages_);
    preferencesScroll->setObjectName(QStringLiteral("preferencesScroll"));
    // No Tab stop: it would hold the focus with nothing drawn and nothing said.
    preferencesScroll->setFocusPolicy(Qt::ClickFocus);
    preferencesScroll->setFrameShape(QFrame::NoFrame);
    preferencesScroll->setWidgetResizable(true);
    preferencesScroll->setWidget(preferences_);
    pages_->addWidget(snippets_);
    pages_->addWidget(preferencesScroll);
    detail->addWidget(pages_, 1);
    columns->addLayout(detail, 1);
    outer->addLayout(columns, 1);

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    outer->addWidget(rule);
    footer_ = new ConfigurationFooter(viewModel, services.urlOpener, this);
    outer->addWidget(footer_);

    sidebar_->onPageChosen = [this](ConfigurationPage page) { setPage(page); };
    connect(sidebarToggle_, &QToolButton::clicked, this, [this] { toggleSidebar(); });
    // The form scrolls to a control the focus reaches from within it, but not to one it enters from
    // the sidebar or the footer, or that a click or assistive technology gives it: what is typed there
    // would be out of sight. Every control that takes the focus comes into view (not a list that
    // holds it for a moment while its rows are made anew).
    connect(qApp, &QApplication::focusChanged, preferencesScroll,
            [preferencesScroll](QWidget*, QWidget* now) {
                if (now && (now->focusPolicy() & Qt::TabFocus) &&
                    preferencesScroll->widget()->isAncestorOf(now)) {
                    preferencesScroll->ensureWidgetVisible(now);
                }
            });
}

void ConfigurationView::setPage(ConfigurationPage page) {
    // The capture popover belongs to the snippets page's tabs; it does not stay over another page.
    if (page != ConfigurationPage::snippets) {
        viewModel_->setShowingAppCapture(false);
    }
    page_ = page;
    sidebar_->setPage(page);
    Animations::crossFade(pages_, page == ConfigurationPage::snippets ? 0 : 1, Animations::pageMilliseconds);
}

bool ConfigurationView::sidebarVisible() const {
    return !sidebar_->isHidden();
}

void ConfigurationView::toggleSidebar() {
    sidebar_->setVisible(sidebar_->isHidden());
    sidebarToggle_->setExpanded(!sidebar_->isHidden());
}

} // namespace korvane
