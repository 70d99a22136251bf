#pragma once

#include "app/appplatform.h"
#include "app/completionflow.h"
#include "app/projectfollower.h"
#include "app/shelllifecycle.h"
#include "app/tabbaselinereader.h"
#include "config/configmanager.h"
#include "config/configwatcher.h"
#include "config/truststorewatcher.h"
#include "input/eventtap.h"
#include "input/triggerdetector.h"
#include "providers/projectdetector.h"
#include "registry/historystore.h"
#include "registry/snippetregistry.h"
#include "search/scanpipeline.h"
#include "search/searchcoordinator.h"
#include "search/watchermanager.h"

#include <functional>
#include <memory>

namespace korvane {

class FilePathProvider;
class GitLsFilesBroker;
class GlobalSkillProvider;
class PreviewContentService;
class ShellCommandRunner;
class StatusBarController;

// The composition root: it creates Korvane's long-lived parts in the order they depend on each other
// and wires them together. What happens in a session is the CompletionFlow's, following the user's
// project the ProjectFollower's, and permission, memory pressure, windows and quitting the
// ShellLifecycle's. Main thread; every callback it installs holds its target weakly. Made by create()
// and started once with start().
class AppCoordinator : public std::enable_shared_from_this<AppCoordinator> {
public:
    static constexpr const char* hasCompletedOnboardingKey = ShellLifecycle::hasCompletedOnboardingKey;

    static std::shared_ptr<AppCoordinator> create(AppPlatform platform);
    // Stops the key tap first: nothing it calls may go away while it runs. Writes pending history.
    ~AppCoordinator();
    AppCoordinator(const AppCoordinator&) = delete;
    AppCoordinator& operator=(const AppCoordinator&) = delete;

    // Set by the application delegate; runs the updater's check the user asked for.
    std::function<void()> checkForUpdates;

    void start();

    // The parts, for main() and the tests. The three behaviours exist once start() has run.
    const std::shared_ptr<StatusBarController>& statusBar() const { return statusBar_; }
    TriggerDetector& triggerDetector() const { return *triggerDetector_; }
    SnippetRegistry& registry() const { return *registry_; }
    ProjectDetector& projectDetector() const { return *projectDetector_; }
    PopupController& popupController() const { return *popupController_; }
    ConfigManager* configManager() const { return configManager_.get(); }
    SearchCoordinator* searchCoordinator() const { return searchCoordinator_.get(); }
    ScanPipeline* scanPipeline() const { return scanPipeline_.get(); }
    CompletionFlow& completionFlow() const { return *flow_; }
    ProjectFollower& projectFollower() const { return *follower_; }
    ShellLifecycle& shell() const { return *shell_; }

private:
    explicit AppCoordinator(AppPlatform platform);
    void construct();

    // Start-up steps.
    void installProviderFactories();
    void createSearchCoordinator();
    void createScanPipeline();
    void createWatcherManager();
    void createFlow();
    void createFollower();
    void createShell();
    void wireSearchCoordinator();
    void wireFilePathProvider();
    void wireWatcherManager();
    void installMenuCallbacks();

    AppPlatform platform_;
    Scheduler& scheduler_;

    std::shared_ptr<StatusBarController> statusBar_;
    std::shared_ptr<EventTap> eventTap_;
    std::shared_ptr<TriggerDetector> triggerDetector_;
    std::shared_ptr<SnippetRegistry> registry_;
    // One each for the process, made with the ports they run on: the git listings the scan leaves for
    // the file index, the project file search and the user's own skills.
    std::shared_ptr<GitLsFilesBroker> listingBroker_;
    std::shared_ptr<FilePathProvider> filePaths_;
    std::shared_ptr<GlobalSkillProvider> globalSkills_;
    // The one runner of the user's and the projects' commands.
    std::shared_ptr<ShellCommandRunner> shellRunner_;
    std::unique_ptr<ProjectDetector> projectDetector_;
    std::shared_ptr<PreviewContentService> previewContentService_;
    std::shared_ptr<PopupController> popupController_;
    std::shared_ptr<ConfigWatcher> configWatcher_;
    std::shared_ptr<TrustStoreWatcher> trustStoreWatcher_;
    std::shared_ptr<HistoryStore> historyStore_;
    std::unique_ptr<ConfigManager> configManager_;
    std::shared_ptr<SearchCoordinator> searchCoordinator_;
    std::shared_ptr<ScanPipeline> scanPipeline_;
    std::shared_ptr<WatcherManager> watcherManager_;
    std::shared_ptr<CompletionFlow> flow_;
    std::shared_ptr<TabBaselineReader> tabBaseline_;
    std::shared_ptr<ProjectFollower> follower_;
    std::shared_ptr<ShellLifecycle> shell_;
};

} // namespace korvane
