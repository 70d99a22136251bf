#include "app/statusbarcontroller.h"

#include "app/trayicons.h"
#include "base/diagnostics.h"
#include "base/visibletext.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QKeySequence>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <cassert>

namespace korvane {
namespace {

constexpr std::size_t shownNameWidth = 80;

void assertMainThread() {
    assert(QCoreApplication::instance() == nullptr ||
           QThread::currentThread() == QCoreApplication::instance()->thread());
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// Text that names a folder, as a menu item shows it: nothing in the name can hide or reorder what the
// item says, and an "&" is shown rather than taken for the item's key.
QString shownName(const std::string& text) {
    return qs(VisibleText::line(text, shownNameWidth)).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

StatusBarController::StatusBarController(std::shared_ptr<SecureInputProbe> secureInput,
                                         std::shared_ptr<AccessibilityTrust> trust)
    : menu_(std::make_unique<QMenu>())
    , secureInput_(std::move(secureInput))
    , trust_(std::move(trust)) {
    assertMainThread();
}

StatusBarController::~StatusBarController() {
    if (secureInputTimer_ != nullptr) {
        secureInputTimer_->stop();
    }
    // The tray icon refers to the menu; it goes first.
    statusItem_.reset();
}

void StatusBarController::setup() {
    assertMainThread();
    statusItem_ = std::make_unique<QSystemTrayIcon>();
    buildMenu();
    statusItem_->setContextMenu(menu_.get());
    menu_->setToolTipsVisible(true);
    QObject::connect(menu_.get(), &QMenu::aboutToShow, this, [this] { menuWillOpen(); });
    // A tray click opens the menu as the context click does, since the menu is all there is.
    QObject::connect(statusItem_.get(), &QSystemTrayIcon::activated, this,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger) {
                             menu_->popup(QCursor::pos());
                         }
                     });
    updateIcon();
    showTrayIcon();
    startSecureInputPolling();
}

void StatusBarController::showTrayIcon() {
    // A shown icon embeds itself into a tray that starts later (Qt watches for one); until then the
    // program keeps running without its menu.
    statusItem_->show();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        diagnostic("No system tray found; the Korvane menu is not shown.");
    }
}

void StatusBarController::buildMenu() {
    assertMainThread();
    menu_->clear();
    trustOfferItems_.clear();

    projectItem_ = menu_->addAction(QStringLiteral("Project: (none)"));
    projectItem_->setEnabled(false);

    snippetCountItem_ = menu_->addAction(QStringLiteral("0 snippets loaded"));
    snippetCountItem_->setEnabled(false);

    configErrorItem_ = menu_->addAction(QString());
    configErrorItem_->setEnabled(false);
    configErrorItem_->setVisible(false);

    updateAvailableItem_ =
        menu_->addAction(updateAvailableVersion_ ? qs("Update Available: v" + *updateAvailableVersion_)
                                                 : QStringLiteral("Update Available"));
    updateAvailableItem_->setIcon(menuIcon("go-down"));
    updateAvailableItem_->setVisible(updateAvailableVersion_.has_value());
    QObject::connect(updateAvailableItem_, &QAction::triggered, this, [this] { checkForUpdatesClicked(); });

    menu_->addSeparator();

    QAction* edit = menu_->addAction(menuIcon("document-edit"), QStringLiteral("Edit"));
    QObject::connect(edit, &QAction::triggered, this, [this] { editConfigClicked(); });

    QAction* configuration =
        menu_->addAction(menuIcon("preferences-system"), QStringLiteral("Configuration"));
    configuration->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    configuration->setShortcutContext(Qt::WidgetShortcut);
    QObject::connect(configuration, &QAction::triggered, this, [this] { openConfigurationClicked(); });

    checkForUpdatesItem_ = menu_->addAction(menuIcon("view-refresh"), QStringLiteral("Check for Updates…"));
    QObject::connect(checkForUpdatesItem_, &QAction::triggered, this, [this] { checkForUpdatesClicked(); });
    checkForUpdatesItem_->setEnabled(canCheckForUpdates_);

    onboardingItem_ = menu_->addAction(menuIcon("help-about"), QStringLiteral("Onboarding"));
    QObject::connect(onboardingItem_, &QAction::triggered, this, [this] { openOnboardingClicked(); });
    if (trust_) {
        updateOnboardingItem(trust_->isTrusted());
    }

    menu_->addSeparator();

    secureInputMenuItem_ = menu_->addAction(QStringLiteral("Secure input active (completions paused)"));
    secureInputMenuItem_->setEnabled(false);
    secureInputMenuItem_->setVisible(false);

    QAction* quit = menu_->addAction(menuIcon("application-exit"), QStringLiteral("Quit Korvane"));
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    quit->setShortcutContext(Qt::WidgetShortcut);
    QObject::connect(quit, &QAction::triggered, this, [this] { quitClicked(); });

    rebuildTrustOffers();
}

void StatusBarController::setSnippetCount(std::size_t count) {
    assertMainThread();
    if (snippetCountItem_ != nullptr) {
        snippetCountItem_->setText(
            qs(std::to_string(count) + " snippet" + (count == 1 ? "" : "s") + " loaded"));
    }
}

void StatusBarController::setConfigError(const std::optional<std::string>& message) {
    assertMainThread();
    if (configErrorItem_ == nullptr) {
        return;
    }
    if (message) {
        // A parser's message can be long; the menu stays a menu's width and the tooltip has it whole.
        const QString text = qs("⚠ Config error: " + *message);
        configErrorItem_->setText(
            QFontMetrics(menu_->font()).elidedText(text, Qt::ElideRight, configErrorMaxWidth));
        configErrorItem_->setToolTip(text);
        configErrorItem_->setVisible(true);
    } else {
        configErrorItem_->setVisible(false);
    }
}

void StatusBarController::setUpdateAvailable(const std::string& version) {
    assertMainThread();
    updateAvailableVersion_ = version;
    if (updateAvailableItem_ != nullptr) {
        updateAvailableItem_->setText(qs("Update Available: v" + version));
        updateAvailableItem_->setVisible(true);
    }
    updateIcon();
}

void StatusBarController::clearUpdateNotice() {
    assertMainThread();
    updateAvailableVersion_.reset();
    if (updateAvailableItem_ != nullptr) {
        updateAvailableItem_->setVisible(false);
    }
    updateIcon();
}

void StatusBarController::updateOnboardingItem(bool isTrusted) {
    assertMainThread();
    if (onboardingItem_ == nullptr) {
        return;
    }
    const std::string symbol = isTrusted ? "help-about" : "dialog-warning";
    onboardingItem_->setText(isTrusted ? QStringLiteral("Onboarding") : QStringLiteral("Finish Setup"));
    onboardingItem_->setIcon(menuIcon(symbol));
    onboardingItem_->setToolTip(isTrusted ? QString() : QStringLiteral("Setup incomplete"));
    onboardingMenuItemSymbolName_ = symbol;
}

void StatusBarController::updateIcon() {
    assertMainThread();
    if (isSecureInputActive_) {
        iconName_ = "changes-prevent";
        iconDescription_ = "Korvane";
    } else if (updateAvailableVersion_) {
        iconName_ = "go-down";
        iconDescription_ = "Update Available";
    } else {
        iconName_ = normalIconName;
        iconDescription_ = "Korvane";
    }
    if (statusItem_) {
        statusItem_->setIcon(trayIcon(iconName_));
        statusItem_->setToolTip(qs(iconDescription_));
    }
}

void StatusBarController::startSecureInputPolling() {
    assertMainThread();
    secureInputTimerFired();
    if (secureInputTimer_ == nullptr) {
        secureInputTimer_ = new QTimer(this);
        secureInputTimer_->setInterval(secureInputPollIntervalMs);
        QObject::connect(secureInputTimer_, &QTimer::timeout, this, [this] { secureInputTimerFired(); });
    }
    secureInputTimer_->start();
}

void StatusBarController::secureInputTimerFired() {
    assertMainThread();
    const bool active = secureInput_ && secureInput_->isSecureInputEnabled();
    if (active == isSecureInputActive_) {
        return;
    }
    isSecureInputActive_ = active;
    updateIcon();
    if (secureInputMenuItem_ != nullptr) {
        secureInputMenuItem_->setVisible(active);
    }
}

void StatusBarController::setCanCheckForUpdates(bool canCheck) {
    canCheckForUpdates_ = canCheck;
    if (checkForUpdatesItem_) {
        checkForUpdatesItem_->setEnabled(canCheck);
    }
}

void StatusBarController::setProjectTitle(const std::string& title) {
    assertMainThread();
    if (projectItem_ != nullptr) {
        projectItem_->setText(shownName(title));
    }
}

void StatusBarController::setProjectTrustOffers(std::vector<std::string> labels,
                                                std::function<void(std::size_t)> onTrust) {
    assertMainThread();
    trustOfferLabels_ = std::move(labels);
    onTrust_ = std::move(onTrust);
    rebuildTrustOffers();
}

void StatusBarController::setFolderTrustOffer(std::function<void()> onTrust) {
    assertMainThread();
    onTrustFolder_ = std::move(onTrust);
    rebuildTrustOffers();
}

void StatusBarController::setTrustedFolder(std::optional<std::string> folder, FolderTrust trust,
                                           std::function<void()> onStopTrusting) {
    assertMainThread();
    trustedFolder_ = std::move(folder);
    folderTrust_ = trust;
    onStopTrusting_ = std::move(onStopTrusting);
    rebuildTrustOffers();
}

void StatusBarController::rebuildTrustOffers() {
    for (QAction* item : trustOfferItems_) {
        menu_->removeAction(item);
        item->deleteLater();
    }
    trustOfferItems_.clear();
    if (snippetCountItem_ == nullptr) {
        return;
    }
    if (trustedFolder_) {
        const QString which = folderTrust_ == FolderTrust::projectAndFolder
                                  ? QStringLiteral(" (project's commands and folder)")
                                  : QStringLiteral(" (folder only)");
        auto* line =
            new QAction(QStringLiteral("Trusted: ") + shownName(*trustedFolder_) + which, menu_.get());
        line->setEnabled(false);
        menu_->insertAction(snippetCountItem_, line);
        trustOfferItems_.push_back(line);
        // Taking trust back only makes things safer, and trusting again undoes it: no confirmation.
        auto* item = new QAction(QStringLiteral("Stop Trusting This Folder"), menu_.get());
        QObject::connect(item, &QAction::triggered, this, [this] {
            // A copy: what it calls hands the menu its next callback.
            if (const auto stop = onStopTrusting_) {
                stop();
            }
        });
        menu_->insertAction(snippetCountItem_, item);
        trustOfferItems_.push_back(item);
    }
    for (std::size_t index = 0; index < trustOfferLabels_.size(); ++index) {
        auto* item = new QAction(QStringLiteral("Trust commands of ") + shownName(trustOfferLabels_[index]) +
                                     QStringLiteral("…"),
                                 menu_.get());
        QObject::connect(item, &QAction::triggered, this, [this, index] {
            if (onTrust_) {
                onTrust_(index);
            }
        });
        menu_->insertAction(snippetCountItem_, item);
        trustOfferItems_.push_back(item);
    }
    if (onTrustFolder_) {
        auto* item = new QAction(QStringLiteral("Trust this folder…"), menu_.get());
        QObject::connect(item, &QAction::triggered, this, [this] {
            if (onTrustFolder_) {
                onTrustFolder_();
            }
        });
        menu_->insertAction(snippetCountItem_, item);
        trustOfferItems_.push_back(item);
    }
}

void StatusBarController::menuWillOpen() {
    if (trust_) {
        updateOnboardingItem(trust_->isTrusted());
    }
}

void StatusBarController::editConfigClicked() {
    if (onEditConfig) {
        onEditConfig();
    }
}

void StatusBarController::openConfigurationClicked() {
    if (onOpenConfiguration) {
        onOpenConfiguration();
    }
}

void StatusBarController::openOnboardingClicked() {
    if (onOpenOnboarding) {
        onOpenOnboarding();
    }
}

void StatusBarController::checkForUpdatesClicked() {
    if (onCheckForUpdates) {
        onCheckForUpdates();
    }
}

void StatusBarController::quitClicked() {
    if (onQuit) {
        onQuit();
    } else {
        QCoreApplication::quit();
    }
}

} // namespace korvane
