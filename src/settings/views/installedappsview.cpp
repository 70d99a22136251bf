#include "settings/views/installedappsview.h"

#include "settings/installedappscache.h"
#include "settings/installedappsscan.h"
#include "uikit/kitcolors.h"
#include "uikit/kitpalette.h"
#include "uikit/symbolicon.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace korvane {
namespace {

constexpr int iconSide = 32;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

InstalledAppsView::InstalledAppsView(const ConfigurationServices& services, QWidget* parent,
                                     OnSelect onSelect, InstalledAppsCache* cache)
    : QDialog(parent)
    , services_(services)
    , onSelect_(std::move(onSelect))
    , cache_(cache ? *cache : InstalledAppsCache::shared()) {
    setObjectName(QStringLiteral("installedApps"));
    setWindowTitle(QStringLiteral("Installed Applications"));
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(600, 500);
    // A window of its own: it follows the desktop's palette, not the settings window's.
    KitPalette::keepLegible(*this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* title = new QLabel(QStringLiteral("Installed Applications"), this);
    QFont headline = title->font();
    headline.setWeight(QFont::DemiBold);
    headline.setPointSizeF(11);
    title->setFont(headline);
    title->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(title);

    auto* searchRow = new QHBoxLayout;
    searchRow->setContentsMargins(12, 0, 12, 12);
    auto* glass = new QLabel(this);
    glass->setPixmap(SymbolIcon::icon("magnifyingglass", KitColors::secondaryText(*this), 14).pixmap(14, 14));
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("searchApps"));
    search_->setPlaceholderText(QStringLiteral("Search apps..."));
    search_->setAccessibleName(QStringLiteral("Search apps..."));
    searchRow->addWidget(glass);
    searchRow->addWidget(search_, 1);
    layout->addLayout(searchRow);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    layout->addWidget(line);

    body_ = new QStackedWidget(this);
    auto* loading = new QWidget(body_);
    auto* loadingLayout = new QVBoxLayout(loading);
    loadingLayout->addStretch(1);
    auto* spinner = new QProgressBar(loading);
    spinner->setRange(0, 0);
    spinner->setMaximumWidth(160);
    spinner->setTextVisible(false);
    spinner->setAccessibleName(QStringLiteral("Loading applications..."));
    loadingLayout->addWidget(spinner, 0, Qt::AlignHCenter);
    loadingLayout->addWidget(new QLabel(QStringLiteral("Loading applications..."), loading), 0,
                             Qt::AlignHCenter);
    loadingLayout->addStretch(1);
    list_ = new QListWidget(body_);
    list_->setObjectName(QStringLiteral("appList"));
    list_->setAccessibleName(QStringLiteral("Installed Applications"));
    list_->setFrameShape(QFrame::NoFrame);
    list_->setIconSize(QSize(iconSide, iconSide));
    list_->setUniformItemSizes(true);
    body_->addWidget(loading);
    body_->addWidget(list_);
    layout->addWidget(body_, 1);

    connect(search_, &QLineEdit::textChanged, this, [this] { refreshList(); });
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int row = list_->row(item);
        if (row >= 0 && static_cast<std::size_t>(row) < shown_.size() && onSelect_) {
            const InstalledApp app = shown_[static_cast<std::size_t>(row)];
            onSelect_(app.bundleId, app.appName);
        }
    });
    connect(list_, &QListWidget::itemActivated, list_, &QListWidget::itemClicked);
    connect(list_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { loadVisibleIcons(); });
    loadApps();
}

void InstalledAppsView::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    loadVisibleIcons();
}

void InstalledAppsView::loadApps() {
    isLoading_ = true;
    body_->setCurrentIndex(0);
    if (auto cached = cache_.cachedAppsIfFresh()) {
        showApps(std::move(*cached));
        return;
    }
    if (!services_.scheduler || !services_.applications) {
        showApps({});
        return;
    }
    std::vector<CatalogApplication> running = services_.applications->runningApplications();
    // The scan owns what it needs; a closed sheet still lets it finish and fill the cache.
    auto catalog = services_.applications;
    Scheduler* scheduler = services_.scheduler;
    InstalledAppsCache* cache = &cache_;
    const std::string own = services_.ownBundleId;
    QPointer<InstalledAppsView> self(this);
    scheduler->runInBackground(
        TaskPriority::userInitiated,
        [catalog, scheduler, cache, own, running = std::move(running), self](const CancellationToken&) {
            auto apps = InstalledAppsScan::scanInstalledApps(catalog->installedApplications(), running, own);
            scheduler->post([apps = std::move(apps), cache, self]() mutable {
                cache->store(apps);
                if (self) {
                    self->showApps(std::move(apps));
                }
            });
        });
}

void InstalledAppsView::showApps(std::vector<InstalledApp> apps) {
    apps_ = std::move(apps);
    isLoading_ = false;
    body_->setCurrentIndex(1);
    refreshList();
}

std::vector<InstalledApp> InstalledAppsView::shownApps() const {
    return shown_;
}

void InstalledAppsView::refreshList() {
    if (isLoading_) {
        return;
    }
    shown_ = InstalledAppsScan::filteredApps(apps_, search_->text().toStdString());
    list_->clear();
    const QIcon placeholder = SymbolIcon::icon("app", KitColors::secondaryText(*this), iconSide);
    for (const InstalledApp& app : shown_) {
        const auto loaded = icons_.find(app.bundleId);
        const bool hasIcon = loaded != icons_.end() && !loaded->second.isNull();
        auto* item = new QListWidgetItem(hasIcon ? loaded->second : placeholder,
                                         qs(app.appName) + '\n' + qs(app.bundleId), list_);
        item->setData(Qt::AccessibleTextRole, qs(app.appName));
        item->setData(Qt::UserRole, qs(app.bundleId));
        item->setSizeHint(QSize(0, iconSide + 12));
    }
    loadVisibleIcons();
}

void InstalledAppsView::loadVisibleIcons() {
    if (!services_.applications || !services_.icons) {
        return;
    }
    // Only rows in view ask for their icons, once per application; the placeholder stays meanwhile.
    const QRect viewport = list_->viewport()->rect();
    for (int row = 0; row < list_->count(); ++row) {
        QListWidgetItem* item = list_->item(row);
        const std::string bundleId = item->data(Qt::UserRole).toString().toStdString();
        if (requestedIcons_.count(bundleId) || !viewport.intersects(list_->visualItemRect(item))) {
            continue;
        }
        requestedIcons_.insert(bundleId);
        services_.icons->load(services_.applications->iconFor(bundleId), iconSide, this,
                              [this, bundleId](const QIcon& icon) { showIcon(bundleId, icon); });
    }
}

void InstalledAppsView::showIcon(const std::string& bundleId, const QIcon& icon) {
    icons_[bundleId] = icon;
    if (icon.isNull()) {
        return;
    }
    for (int row = 0; row < list_->count(); ++row) {
        QListWidgetItem* item = list_->item(row);
        if (item->data(Qt::UserRole).toString().toStdString() == bundleId) {
            item->setIcon(icon);
        }
    }
}

} // namespace korvane
