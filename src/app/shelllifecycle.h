#pragma once

#include "app/completionflow.h"
#include "app/projectfollower.h"
#include "app/statusbarcontroller.h"
#include "app/tabbaselinereader.h"
#include "base/cancellationtoken.h"
#include "base/observerlist.h"
#include "base/scheduler.h"
#include "config/configmanager.h"
#include "input/eventtap.h"
#include "input/triggerdetector.h"
#include "platform/accessibilitytrust.h"
#include "platform/applicationcatalog.h"
#include "platform/memorypressuresource.h"
#include "platform/platformcapabilities.h"
#include "platform/urlopener.h"
#include "platform/userdefaults.h"
#include "platform/workspaceevents.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

class ConfigurationViewModel;
class ConfigurationWindow;
class OnboardingViewModel;
class FilePathProvider;
class IconLoader;
class OnboardingWindow;
class PreviewContentService;

// The life of the shell around the sessions: the key tap started whenever the trust port reports
// access granted and stopped when it reports it gone (the port asked on a timer while the onboarding
// offers the grant), memory pressure, the settings and onboarding windows, and what stops at quit.
// Main thread; what it installs holds it weakly.
class ShellLifecycle : public std::enable_shared_from_this<ShellLifecycle> {
public:
    struct Parts {
        Scheduler& scheduler;
        std::shared_ptr<AccessibilityTrust> trust;
        std::shared_ptr<UserDefaults> defaults;
        std::shared_ptr<MemoryPressureSource> memoryPressure;
        std::shared_ptr<WorkspaceEvents> workspaceEvents;
        std::shared_ptr<UrlOpener> urlOpener;
        // What the settings window offers: the platform's abilities and the installed applications.
        std::shared_ptr<const PlatformCapabilities> capabilities;
        std::shared_ptr<ApplicationCatalog> applications;
        std::string ownBundleID;
        std::shared_ptr<ActiveAppProvider> activeApp;
        std::shared_ptr<EventTap> eventTap;
        std::shared_ptr<TriggerDetector> triggerDetector;
        std::shared_ptr<StatusBarController> statusBar;
        std::shared_ptr<PopupController> popupController;
        std::shared_ptr<SearchCoordinator> searchCoordinator;
        std::shared_ptr<ScanPipeline> scanPipeline;
        std::shared_ptr<WatcherManager> watcherManager;
        // The caches emptied under memory pressure: the file search's and the detail panel's previews.
        std::shared_ptr<FilePathProvider> filePaths;
        std::shared_ptr<PreviewContentService> previewContentService;
        ConfigManager& configManager;
        ProjectDetector& projectDetector;
        std::shared_ptr<CompletionFlow> flow;
        std::shared_ptr<ProjectFollower> follower;
        // Reads the terminal's tabs after a key or a click that begins no trigger, and after an insertion.
        std::shared_ptr<TabBaselineReader> tabBaseline;
        // Told on the key tap's thread of every key it hands to the detector (latency measurements).
        std::function<void()> onTapKey;
        // The icon of an installed application by desktop-file ID, for the onboarding's example cards.
        std::function<std::optional<std::string>(const std::string& desktopID)> applicationIcon;
    };

    static constexpr const char* hasCompletedOnboardingKey = "hasCompletedOnboarding";
    // How long the start waits for the trust port's first answer before it goes on as if the
    // permission were missing: well past the time limits of the port's own questions.
    static constexpr double firstTrustAnswerWait = 5.0;
    // How often the trust port is asked while the onboarding offers "Grant Permission", so that a
    // permission given by another program (a desktop's own accessibility setting) starts the
    // session without the button or the tray menu.
    static constexpr double onboardingTrustCheckInterval = 2.0;
    // How long after a key or a click a terminal's tabs are read for the baseline of the next trigger:
    // time for the program that got the key to read it.
    static constexpr double tabBaselineDelay = 0.01;
    // The same after Korvane's own insertion, which the program reads after the paste's round trip
    // through the clipboard and the terminal.
    static constexpr double insertionBaselineDelay = 0.05;

    explicit ShellLifecycle(Parts parts);
    ~ShellLifecycle();
    ShellLifecycle(const ShellLifecycle&) = delete;
    ShellLifecycle& operator=(const ShellLifecycle&) = delete;

    // Starts project detection, and the session and onboarding as the permission asks, once the trust
    // port has answered (at once when it has).
    void startIfPermitted(bool showOnboardingIfNeeded);
    bool startSession();
    void configureTriggerDetector();
    void editConfig();

    // A new answer of the trust port: the session starts when access arrives and stops when it goes,
    // whatever window is open; the tray item and the onboarding's permission follow.
    void handleTrustChanged(bool isTrusted);
    // Stops the session and asks for the permission again; nothing to do while no session runs.
    void handlePermissionRevoked();
    void handleOnboardingPermissionGranted();
    void startMemoryPressureMonitoring();
    void handleMemoryPressure(const MemoryPressureEvent& event);
    void showConfigurationWindow();
    // The global configuration was reloaded: an outside edit shows in the open settings window.
    void handleGlobalConfigReloaded();
    void showOnboarding(bool openAtPermissionStep);
    void dismissOnboarding();
    void finishOnboarding(bool markCompleted);
    // The application and project the open onboarding was shown over; none when it is closed.
    std::optional<CompletionFlow::CapturedContext> onboardingContext() const;
    // Stops what reports from other threads or from the desktop before the parts go.
    void quit();

    bool isSessionStarted() const { return isSessionStarted_; }
    bool isProjectDetectionStarted() const { return isProjectDetectionStarted_; }
    bool isOnboardingActive() const { return isOnboardingActive_; }

private:
    void watchTrust();
    void applyStartDecision(bool isTrusted, bool showOnboardingIfNeeded);
    void decideWithoutTrustAnswer();
    void installTapCallbacks();
    // On the key tap's thread, a key that begins no trigger, or a click: the terminal's tabs are read once
    // the key is read.
    static void noteInput(TabBaselineReader& reader);
    void startProjectDetectionOnce();
    void followOnboardingStep();
    void scheduleOnboardingTrustCheck();
    void stopOnboardingTrustCheck();
    std::string frontmostBundleID() const;
    std::shared_ptr<const IconLoader> iconLoader();

    Parts parts_;
    std::shared_ptr<ConfigurationViewModel> configurationViewModel_;
    std::unique_ptr<ConfigurationWindow> configurationWindow_;
    std::shared_ptr<OnboardingViewModel> onboardingViewModel_;
    std::unique_ptr<OnboardingWindow> onboardingWindow_;
    // The one icon loader of both windows, made with the first of them.
    std::shared_ptr<const IconLoader> icons_;
    bool isOnboardingActive_ = false;
    std::optional<CompletionFlow::CapturedContext> onboardingCapturedContext_;
    std::optional<ObserverList<>::ID> onboardingObserver_;
    // The next question of the trust port while the onboarding offers the grant.
    std::optional<CancellationToken> onboardingTrustCheck_;
    bool isSessionStarted_ = false;
    bool isProjectDetectionStarted_ = false;
    bool isMonitoringMemoryPressure_ = false;
    bool isWatchingTrust_ = false;
    bool hasTrustAnswer_ = false;
    // The start's decision while it waits for the first answer: whether it may show the onboarding.
    std::optional<bool> pendingStartDecision_;
    std::optional<CancellationToken> trustAnswerDeadline_;
    // The onboarding was shown for want of an answer to a user who had completed it: a first answer
    // that grants the permission closes it again.
    bool onboardingShownWithoutTrustAnswer_ = false;
};

} // namespace korvane
