#pragma once

#include "app/appplatform.h"
#include "config/configmanager.h"
#include "config/configwatcher.h"
#include "input/completionsessionengine.h"
#include "input/eventtap.h"
#include "input/sessionevent.h"
#include "input/triggerdetector.h"
#include "presentation/scopedefinition.h"
#include "providers/customprovider.h"
#include "providers/projectdetector.h"
#include "registry/historystore.h"
#include "registry/snippetregistry.h"
#include "search/scanpipeline.h"
#include "search/searchcoordinator.h"
#include "search/watchermanager.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class FilePathProvider;
class GitLsFilesBroker;

class ConfigurationViewModel;
class ConfigurationWindow;
class OnboardingViewModel;
class OnboardingWindow;
class PreviewContentService;
class StatusBarController;

// The one owner of Korvane's long-lived parts: it creates and wires them, follows the frontmost
// application and its project, carries out each completion session from the trigger to the
// insertion, and reacts to configuration changes, permission loss and memory pressure. Main thread;
// every callback it installs holds it weakly. Made by create() and started once with start().
class AppCoordinator : public std::enable_shared_from_this<AppCoordinator> {
public:
    // An application the user worked in.
    struct AppRecord {
        std::string bundleID;
        std::string name;
        bool operator==(const AppRecord&) const = default;
    };
    // The application and project the user came from when the onboarding opened.
    struct CapturedContext {
        std::string bundleID;
        std::optional<std::string> projectRoot;
    };

    static constexpr std::size_t recentAppLimit = 10;
    static constexpr double firstDetectionDelay = 0.5;
    static constexpr double switchDetectionDelay = 0.3;
    static constexpr double prewarmDelay = 0.3;
    static constexpr double editDelay = 0.02;
    static constexpr double acceptLogThresholdMs = 10.0;
    static constexpr const char* hasCompletedOnboardingKey = "hasCompletedOnboarding";

    static std::shared_ptr<AppCoordinator> create(AppPlatform platform);
    // Stops the key tap first: nothing it calls may go away while it runs. Writes pending history.
    ~AppCoordinator();
    AppCoordinator(const AppCoordinator&) = delete;
    AppCoordinator& operator=(const AppCoordinator&) = delete;

    // Set by the application delegate; runs the updater's check the user asked for.
    std::function<void()> checkForUpdates;

    void start();
    void startIfPermitted(bool showOnboardingIfNeeded);
    bool startSession();
    void configureTriggerDetector();
    void clearUpdateAvailable();
    void editConfig();
    void openURL(const std::string& url);

    // Session commands and events.
    void executeCommands(const CompletionSessionEngine::Commands& commands);
    void handleSessionEvent(const SessionEvent& event);

    // Project tracking.
    void startProjectDetection();
    void handleAppActivation(const WorkspaceEvents::Activation& activation);
    void handleProjectChange(const std::optional<std::string>& root, const std::optional<std::string>& name);
    void applyProjectConfig(const std::optional<std::string>& root);
    void refreshSnippetsFromConfig(bool skipRescan);
    void reloadGlobalConfig();
    void handleProjectConfigChange();
    void handleRefreshRequested();
    void prewarmFilePaths(const std::string& root);
    void trustProjectCommands(std::size_t index);

    // Permission, memory pressure and windows.
    void handlePermissionRevoked();
    void handleOnboardingPermissionGranted();
    void startMemoryPressureMonitoring();
    void handleMemoryPressure(const MemoryPressureEvent& event);
    void showConfigurationWindow();
    void showOnboarding(bool openAtPermissionStep);
    void dismissOnboarding();
    void finishOnboarding(bool markCompleted);

    // Acceptance.
    void handleAccept(const std::string& query);
    void acceptScopeRow(const ScopeDefinition& definition, const std::string& query);
    std::string scopeCompletionText(const ScopeDefinition& definition, const std::string& query) const;
    static std::string normalizedForComparison(const std::string& text);
    void insertSelection(const std::string& query);
    void saveSelectionToConfig();
    void showInfoAlert(const std::string& title, const std::string& message);

    // Read by tests and by the windows.
    bool isSessionStarted() const { return isSessionStarted_; }
    bool isProjectDetectionStarted() const { return isProjectDetectionStarted_; }
    bool isOnboardingActive() const { return isOnboardingActive_; }
    bool isCurrentRootWeak() const { return isCurrentRootWeak_; }
    const std::optional<AppRecord>& lastNonKorvaneApp() const { return lastNonKorvaneApp_; }
    const std::vector<AppRecord>& recentAppHistory() const { return recentAppHistory_; }
    const std::shared_ptr<StatusBarController>& statusBar() const { return statusBar_; }
    TriggerDetector& triggerDetector() const { return *triggerDetector_; }
    SnippetRegistry& registry() const { return *registry_; }
    ProjectDetector& projectDetector() const { return *projectDetector_; }
    PopupController& popupController() const { return *popupController_; }
    CompletionSessionEngine& sessionEngine() { return sessionEngine_; }
    ConfigManager* configManager() const { return configManager_.get(); }
    SearchCoordinator* searchCoordinator() const { return searchCoordinator_.get(); }
    ScanPipeline* scanPipeline() const { return scanPipeline_.get(); }

private:
    explicit AppCoordinator(AppPlatform platform);
    void construct();

    // Start-up steps.
    void createSearchCoordinator();
    void createScanPipeline();
    void createWatcherManager();
    void wireFilePathProvider();
    void installProviderFactories();
    void startGlobalSkillScan();
    void installMenuCallbacks();
    void applyProviders(ProviderSet set);
    void applyConfigToSearch();

    // Helpers shared by several handlers.
    std::optional<std::string> currentRoot() const;
    bool caseSensitive() const;
    void hidePopup();
    void dismissAndExecute(CompletionSessionEngine::DismissReason reason, CompletionSessionEngine::ResetMode mode);
    void resetDetectorFully();
    std::optional<SearchCoordinator::LiveSearchContext> searchContext();
    std::optional<FrontmostApplication> frontmost() const;
    std::string frontmostBundleID() const;
    std::optional<FrontmostApplication> sessionApplication() const;
    bool skillsDisabled() const;
    void applySkillSnippets();
    void updateSnippetCount();
    std::vector<std::string> customCategoryIDs() const;
    void dropRemovedCustomSources(const std::vector<std::string>& previousIDs);
    void updateTrustOffers();
    void schedulePrewarm(const std::string& root);
    void rescanGlobalSkillsThen(std::function<void()> done);
    // What a refresh does once the file index is rebuilt: rescan the project's sources.
    void refreshSources(const std::optional<std::string>& root);

    // Session event handlers.
    void handleTriggerActivated();
    void handleQueryUpdated(const std::string& query);
    void handleEscape();
    void handleNavigate(NavigationDirection direction);
    template <typename Action> void guardAction(Action action);
    void copySelection();
    void openSelection();
    void handleSpace();
    void handleHelpBack();
    void handleHorizontalNavigate(HorizontalDirection direction);
    std::size_t deletionCount(const std::string& trigger, const std::string& query) const;
    bool configFileUnchanged();

    AppPlatform platform_;
    Scheduler& scheduler_;

    std::shared_ptr<StatusBarController> statusBar_;
    std::shared_ptr<EventTap> eventTap_;
    std::shared_ptr<TriggerDetector> triggerDetector_;
    std::shared_ptr<SnippetRegistry> registry_;
    std::unique_ptr<ProjectDetector> projectDetector_;
    std::shared_ptr<PreviewContentService> previewContentService_;
    std::shared_ptr<PopupController> popupController_;
    std::shared_ptr<ConfigWatcher> configWatcher_;
    std::shared_ptr<HistoryStore> historyStore_;
    std::shared_ptr<SearchCoordinator> searchCoordinator_;
    std::shared_ptr<WatcherManager> watcherManager_;
    std::unique_ptr<ConfigManager> configManager_;
    std::shared_ptr<ConfigurationViewModel> configurationViewModel_;
    std::unique_ptr<ConfigurationWindow> configurationWindow_;
    std::shared_ptr<OnboardingViewModel> onboardingViewModel_;
    std::unique_ptr<OnboardingWindow> onboardingWindow_;
    bool isOnboardingActive_ = false;
    std::optional<CapturedContext> onboardingCapturedContext_;
    bool isSessionStarted_ = false;
    bool isProjectDetectionStarted_ = false;
    std::optional<AppRecord> lastNonKorvaneApp_;
    std::vector<AppRecord> recentAppHistory_;
    std::shared_ptr<ScanPipeline> scanPipeline_;
    CompletionSessionEngine sessionEngine_;
    bool isCurrentRootWeak_ = false;
    bool isMonitoringMemoryPressure_ = false;
    std::vector<std::shared_ptr<SnippetProvider>> providers_;
    std::map<std::string, std::shared_ptr<CustomProvider>> customLiveProviders_;
    // What config.json looked like at the last load or save of ours: a change event for the same
    // bytes (our own history or trust writes in the folder) reloads nothing.
    std::optional<std::string> configFingerprint_;
    // The frontmost application when the open session began.
    std::optional<FrontmostApplication> sessionFrontmost_;
    // One each for the process, made with the ports they run on: the git listings the scan leaves for
    // the file index, the project file search and the user's own skills.
    std::shared_ptr<GitLsFilesBroker> listingBroker_;
    std::shared_ptr<FilePathProvider> filePaths_;
    std::shared_ptr<GlobalSkillProvider> globalSkills_;
};

} // namespace korvane
