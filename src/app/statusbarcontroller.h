#pragma once

#include "platform/accessibilitytrust.h"
#include "platform/secureinputprobe.h"
#include "search/snippetcountdisplay.h"

#include <QObject>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace korvane {

// Korvane's item in the desktop's system tray and its menu: the current project and its trust, the
// loaded snippet count, configuration errors, an available update and the setup state, plus the
// secure-input watch. Every menu action goes to a callback the coordinator installs. Main thread only.
class StatusBarController final : public QObject, public SnippetCountDisplay {
public:
    // Both ports may be null: no probe means secure input is never seen, no trust source means the
    // onboarding item is not refreshed when the menu opens.
    StatusBarController(std::shared_ptr<SecureInputProbe> secureInput,
                        std::shared_ptr<AccessibilityTrust> trust);
    ~StatusBarController() override;
    StatusBarController(const StatusBarController&) = delete;
    StatusBarController& operator=(const StatusBarController&) = delete;

    void setup();
    void buildMenu();
    void setSnippetCount(std::size_t count) override;
    void setConfigError(const std::optional<std::string>& message);
    void setUpdateAvailable(const std::string& version);
    // Forgets the announced update: hides its notice and restores the icon.
    void clearUpdateNotice();
    void updateOnboardingItem(bool isTrusted);
    void updateIcon();
    void startSecureInputPolling();
    void secureInputTimerFired();
    // The first line of the menu, "Project: " and the project's name.
    void setProjectTitle(const std::string& title);
    // "Check for Updates…" is offered only while the update checker has something to check.
    void setCanCheckForUpdates(bool canCheck);
    // One "Trust commands of <label>…" item per project whose commands wait for the user's trust,
    // right below the project line; choosing one calls `onTrust` with its index in `labels`.
    void setProjectTrustOffers(std::vector<std::string> labels, std::function<void(std::size_t)> onTrust);
    // A "Trust this folder…" item below those while the current project folder may be trusted itself;
    // choosing it calls `onTrust`. An empty `onTrust` takes the item away.
    void setFolderTrustOffer(std::function<void()> onTrust);
    // Which trust lets the user's own commands run in the current project folder: the project's, which
    // covers its commands and the folder, or the folder's alone.
    enum class FolderTrust { projectAndFolder, folderAlone };
    // While the current project folder is trusted, a "Trusted: <folder> (<which trust>)" line right
    // below the project line and a "Stop Trusting This Folder" item, whose choice calls
    // `onStopTrusting`. No folder takes both away.
    void setTrustedFolder(std::optional<std::string> folder, FolderTrust trust,
                          std::function<void()> onStopTrusting);

    std::function<void()> onEditConfig;
    std::function<void()> onOpenConfiguration;
    std::function<void()> onOpenOnboarding;
    std::function<void()> onCheckForUpdates;
    // Replaces leaving the event loop when set.
    std::function<void()> onQuit;

    QMenu* menu() const { return menu_.get(); }
    // The tray icon; null before `setup`.
    QSystemTrayIcon* statusItem() const { return statusItem_.get(); }
    bool isSecureInputActive() const { return isSecureInputActive_; }
    const std::optional<std::string>& updateAvailableVersion() const { return updateAvailableVersion_; }
    // The icon now shown: its theme name and the text read out for it.
    const std::string& iconName() const { return iconName_; }
    const std::string& iconDescription() const { return iconDescription_; }
    const std::optional<std::string>& onboardingMenuItemSymbolName() const {
        return onboardingMenuItemSymbolName_;
    }

    // The icon shown when nothing needs the user's attention.
    static constexpr const char* normalIconName = "korvane";
    static constexpr int secureInputPollIntervalMs = 2000;
    // The widest the configuration error's menu item gets, in pixels; the rest is elided.
    static constexpr int configErrorMaxWidth = 420;

private:
    void editConfigClicked();
    void openConfigurationClicked();
    void openOnboardingClicked();
    void checkForUpdatesClicked();
    void quitClicked();
    void menuWillOpen();
    void showTrayIcon();
    void rebuildTrustOffers();

    std::unique_ptr<QSystemTrayIcon> statusItem_;
    std::unique_ptr<QMenu> menu_;
    QAction* projectItem_ = nullptr;
    QAction* snippetCountItem_ = nullptr;
    QAction* secureInputMenuItem_ = nullptr;
    QAction* configErrorItem_ = nullptr;
    QAction* updateAvailableItem_ = nullptr;
    QAction* checkForUpdatesItem_ = nullptr;
    QAction* onboardingItem_ = nullptr;
    std::optional<std::string> onboardingMenuItemSymbolName_;
    QTimer* secureInputTimer_ = nullptr;
    bool isSecureInputActive_ = false;
    bool canCheckForUpdates_ = true;
    std::optional<std::string> updateAvailableVersion_;

    std::shared_ptr<SecureInputProbe> secureInput_;
    std::shared_ptr<AccessibilityTrust> trust_;
    std::string iconName_;
    std::string iconDescription_;
    std::vector<std::string> trustOfferLabels_;
    std::function<void(std::size_t)> onTrust_;
    std::function<void()> onTrustFolder_;
    std::optional<std::string> trustedFolder_;
    FolderTrust folderTrust_ = FolderTrust::folderAlone;
    std::function<void()> onStopTrusting_;
    std::vector<QAction*> trustOfferItems_;
};

} // namespace korvane
