#include "settings/views/snippetscopetabbar.h"

#include "settings/views/appcaptureview.h"
#include "settings/views/appicons.h"
#include "uikit/capsulebutton.h"
#include "uikit/confirmation.h"
#include "uikit/kitcolors.h"
#include "uikit/symbolicon.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>

namespace korvane {

SnippetScopeTabBar::SnippetScopeTabBar(std::shared_ptr<ConfigurationViewModel> viewModel,
                                       const ConfigurationServices& services,
                                       std::function<void(const std::string&)> onRemoveApp, QWidget* parent)
    : QScrollArea(parent)
    , viewModel_(std::move(viewModel))
    , services_(services)
    , onRemoveApp_(std::move(onRemoveApp)) {
    setObjectName(QStringLiteral("scopeTabs"));
    setAccessibleName(QStringLiteral("Scopes"));
    // No Tab stop: it would hold the focus with nothing drawn. It keeps its place in the Tab order,
    // which its tabs follow.
    setFocusPolicy(Qt::ClickFocus);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    strip_ = new QWidget(this);
    row_ = new QHBoxLayout(strip_);
    row_->setContentsMargins(4, 0, 4, 0);
    row_->setSpacing(6);
    setWidget(strip_);
    refresh();
}

SnippetScopeTabBar::~SnippetScopeTabBar() {
    delete capture_;
}

void SnippetScopeTabBar::refresh() {
    const std::vector<AppSnippetConfig> apps = viewModel_->shownApps();
    loadIcons(apps);
    // The keyboard stays on the same tab once it is made anew. Meanwhile the bar holds it: a focused
    // tab that goes would hand it on to the next control.
    QWidget* focus = QApplication::focusWidget();
    const std::optional<QString> focusedTab =
        focus && strip_->isAncestorOf(focus) ? std::optional<QString>(focus->objectName()) : std::nullopt;
    if (focusedTab) {
        setFocus(Qt::OtherFocusReason);
    }
    while (QLayoutItem* item = row_->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    plus_ = nullptr;
    const auto& selected = viewModel_->selectedAppBundleId();
    auto* global = new CapsuleButton(QStringLiteral("Global"), strip_);
    global->setObjectName(QStringLiteral("tab:global"));
    global->setSelected(!selected);
    connect(global, &CapsuleButton::clicked, this,
            [this] { viewModel_->setSelectedAppBundleId(std::nullopt); });
    row_->addWidget(global);
    for (const AppSnippetConfig& app : apps) {
        row_->addWidget(makeAppTab(app, selected == app.bundleId));
    }
    plus_ = new CapsuleButton(QString(), strip_);
    plus_->setObjectName(QStringLiteral("addApp"));
    plus_->setToolTip(QStringLiteral("Add App"));
    plus_->setSymbol("plus", 11);
    plus_->setPadding(8, 4);
    plus_->setIdleFill(KitColors::quaternaryFill(*this));
    connect(plus_, &CapsuleButton::clicked, this, [this] { viewModel_->setShowingAppCapture(true); });
    row_->addWidget(plus_);
    row_->addStretch(1);
    // Shown now rather than on the layout's next turn, so the tabs are there once this returns. Made
    // anew, they would join the end of the window's Tab order: they go back right after the bar. The
    // focus goes back to its tab; a tab that is gone (its application removed) leaves it on the bar.
    QWidget* previous = this;
    for (int i = 0; i < row_->count(); ++i) {
        if (QWidget* widget = row_->itemAt(i)->widget()) {
            widget->show();
            QWidget::setTabOrder(previous, widget);
            previous = widget;
            if (focusedTab && widget->objectName() == *focusedTab) {
                widget->setFocus(Qt::OtherFocusReason);
            }
        }
    }
    setFixedHeight(strip_->sizeHint().height() + 2);
}

CapsuleButton* SnippetScopeTabBar::makeAppTab(const AppSnippetConfig& app, bool selected) {
    auto* tab = new CapsuleButton(QString::fromStdString(app.appName), strip_);
    tab->setObjectName(QString::fromStdString("tab:" + app.bundleId));
    tab->setSelected(selected);
    if (auto icon = iconCache_.find(app.bundleId); icon != iconCache_.end() && !icon->second.isNull()) {
        tab->setPicture(icon->second, 16);
    }
    const std::string bundleId = app.bundleId;
    connect(tab, &CapsuleButton::clicked, this,
            [this, bundleId] { viewModel_->setSelectedAppBundleId(bundleId); });
    tab->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tab, &QWidget::customContextMenuRequested, this, [this, tab, bundleId](const QPoint& at) {
        auto* menu = new QMenu(this);
        menu->setObjectName(QStringLiteral("tabMenu"));
        menu->setAttribute(Qt::WA_DeleteOnClose);
        QAction* remove = menu->addAction(SymbolIcon::icon("trash", KitColors::destructive(), 14),
                                          QStringLiteral("Remove App"));
        connect(remove, &QAction::triggered, this, [this, bundleId] { askToRemove(bundleId); });
        menu->popup(tab->mapToGlobal(at));
    });
    return tab;
}

void SnippetScopeTabBar::askToRemove(const std::string& bundleId) {
    pendingRemoveBundleId_ = bundleId;
    QPointer<SnippetScopeTabBar> bar(this);
    Confirmation::ask(
        window(), QStringLiteral("Remove this app and all its snippets?"), QStringLiteral("Remove"),
        [bar] {
            if (!bar || !bar->pendingRemoveBundleId_) {
                return;
            }
            const std::string id = *bar->pendingRemoveBundleId_;
            bar->pendingRemoveBundleId_.reset();
            if (auto onRemove = bar->onRemoveApp_) {
                onRemove(id);
            }
        },
        [bar] {
            if (bar) {
                bar->pendingRemoveBundleId_.reset();
            }
        });
}

void SnippetScopeTabBar::loadIcons(const std::vector<AppSnippetConfig>& apps) {
    for (const AppSnippetConfig& app : apps) {
        if (iconCache_.count(app.bundleId)) {
            continue;
        }
        // A null entry while the icon is decoded: the tab shows no picture until it comes.
        iconCache_.emplace(app.bundleId, QIcon());
        const std::string spec =
            services_.applications ? services_.applications->iconFor(app.bundleId) : std::string();
        if (!services_.icons) {
            showIcon(app.bundleId, QIcon());
            continue;
        }
        services_.icons->load(
            spec, 16, this, [this, bundleId = app.bundleId](const QIcon& icon) { showIcon(bundleId, icon); });
    }
}

void SnippetScopeTabBar::showIcon(const std::string& bundleId, const QIcon& icon) {
    QIcon& kept = iconCache_[bundleId];
    kept = icon.isNull() ? AppIcons::ownIcon() : icon;
    for (auto* tab : strip_->findChildren<CapsuleButton*>(QString::fromStdString("tab:" + bundleId))) {
        tab->setPicture(kept, 16);
    }
}

void SnippetScopeTabBar::syncCapture() {
    const bool showing = viewModel_->showingAppCapture();
    if (showing && !capture_ && plus_) {
        QWidget* host = window();
        auto* capture = new AppCaptureView(viewModel_, services_, host);
        capture_ = capture;
        capture->showUnder(plus_);
    } else if (!showing && capture_) {
        capture_->hide();
        capture_->deleteLater();
        capture_ = nullptr;
    }
}

} // namespace korvane
