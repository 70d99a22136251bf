#pragma once

#include "app/completionflow.h"
#include "app/statusbarcontroller.h"
#include "app/tabbaselinereader.h"
#include "base/clock.h"
#include "base/scheduler.h"
#include "config/configmanager.h"
#include "platform/fileprobe.h"
#include "platform/workspaceevents.h"
#include "providers/customprovider.h"
#include "providers/projectdetector.h"
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
class GlobalSkillProvider;

// Follows the user: which application is in front, the project its window belongs to, and what that
// project and the configuration files offer (snippets, providers, scopes, watchers, scans, skills,
// trust of the project's commands). Reloads the configuration when its files or the trust store change. Main
// thread; what it schedules holds it weakly.
class ProjectFollower : public std::enable_shared_from_this<ProjectFollower> {
public:
    // An application the user worked in.
    struct AppRecord {
        std::string bundleID;
        std::string name;
        bool operator==(const AppRecord&) const = default;
    };

    struct Parts {
        Scheduler& scheduler;
        const Clock& clock;
        std::shared_ptr<FileProbe> fileProbe;
        std::shared_ptr<WorkspaceEvents> workspaceEvents;
        std::shared_ptr<ActiveAppProvider> activeApp;
        std::shared_ptr<AlertPresenter> alerts;
        ConfigManager& configManager;
        ProjectDetector& projectDetector;
        std::shared_ptr<SnippetRegistry> registry;
        std::shared_ptr<ScanPipeline> scanPipeline;
        std::shared_ptr<WatcherManager> watcherManager;
        std::shared_ptr<SearchCoordinator> searchCoordinator;
        std::shared_ptr<PopupController> popupController;
        std::shared_ptr<StatusBarController> statusBar;
        std::shared_ptr<TriggerDetector> triggerDetector;
        std::shared_ptr<CompletionFlow> flow;
        // Reads the tabs of a terminal come forward, off the main thread.
        std::shared_ptr<TabBaselineReader> tabBaseline;
        // The project file search and the user's own skills, one each for the process.
        std::shared_ptr<FilePathProvider> filePaths;
        std::shared_ptr<GlobalSkillProvider> globalSkills;
        std::string ownBundleID;
        std::int32_t ownPid = 0;
        // What keeps the user's commands waiting for the trust of a folder, when something does.
        std::function<std::optional<std::string>(const std::string& folder)> folderWaitingReason =
            [](const std::string&) { return std::optional<std::string>(); };
    };

    static constexpr std::size_t recentAppLimit = 10;
    static constexpr double firstDetectionDelay = 0.5;
    static constexpr double switchDetectionDelay = 0.3;
    static constexpr double prewarmDelay = 0.3;
    // How long the rest of a change begun at a trigger waits for the popup's first frame at most.
    static constexpr double changeFinishDelay = 0.2;

    explicit ProjectFollower(Parts parts);
    ProjectFollower(const ProjectFollower&) = delete;
    ProjectFollower& operator=(const ProjectFollower&) = delete;

    // Set by the composition root: told after every reload of the global configuration file.
    std::function<void()> onGlobalConfigReloaded;

    // Start-up: hands the loaded configuration to the registry, the search, the scans and the popup,
    // and starts the first scan of the global skills.
    void applyLoadedConfig();
    void applyProviders(ProviderSet set);
    void startGlobalSkillScan();
    void startProjectDetection();

    void handleAppActivation(const WorkspaceEvents::Activation& activation);
    void handleProjectChange(const std::optional<std::string>& root, const std::optional<std::string>& name);
    // A change found at a trigger, begun with what the popup opening now needs: nothing of the project left
    // behind. The rest (configuration, scan, watchers, tray) follows in finishProjectChange(), called once
    // the popup's first frame is out, or after changeFinishDelay.
    void beginProjectChange(const std::optional<std::string>& root, const std::optional<std::string>& name);
    // Finishes the change begun at a trigger, when one still waits; a later change replaced an earlier one.
    void finishProjectChange();
    // A session begins over `root`: when what its scanned rows were read from went away or closed since
    // (its repository removed, its folder made unreadable), none of them is offered while it is read again.
    void handleSessionBegan(const std::optional<std::string>& root);
    void applyProjectConfig(const std::optional<std::string>& root);
    void refreshSnippetsFromConfig(bool skipRescan);
    void reloadGlobalConfig();
    void handleProjectConfigChange();
    void handleRefreshRequested();
    void trustProjectCommands(std::size_t index);
    // Trusts the current project folder itself, once the user confirmed what that changes.
    void trustFolder();
    // Takes back the trust of the current folder and of the project rooted there, at once.
    void stopTrustingFolder();
    // Follows the trust store after it changed on disk: what the current project's trust decides is
    // rebuilt when that trust changed; Korvane's own writes change nothing.
    void handleTrustStoreChange();
    void updateTrustOffers();
    void updateSnippetCount();
    // Shows again what the registry now holds for the open search.
    void rerenderSearch();
    // True when config.json holds what it held at the last call; remembers what it holds now.
    bool configFileUnchanged();

    bool isCurrentRootWeak() const { return isCurrentRootWeak_; }
    const std::optional<AppRecord>& lastNonKorvaneApp() const { return lastNonKorvaneApp_; }
    const std::vector<AppRecord>& recentAppHistory() const { return recentAppHistory_; }
    const std::vector<std::shared_ptr<SnippetProvider>>& providers() const { return providers_; }

private:
    // A change begun at a trigger and not finished yet.
    struct PendingChange {
        std::optional<std::string> root;
        std::optional<std::string> name;
        CancellationToken deadline;
    };

    void recordApplication(const WorkspaceEvents::Activation& activation);
    void clearProject();
    void leaveProject(const std::optional<std::string>& root);
    void applyConfigToSearch();
    // The file search's insertion mode and include_paths, from the merged configuration.
    void configureFileSearch();
    // Follows edits of `root`'s project file, where it has one.
    void watchProjectConfig(const std::string& root);
    bool skillsDisabled() const;
    void applySkillSnippets();
    // Hands the registry the manual snippets of the frontmost application and `root`.
    void publishManualSnippets(const std::optional<std::string>& root);
    std::vector<std::string> customCategoryIDs() const;
    void dropRemovedCustomSources(const std::vector<std::string>& previousIDs);
    void schedulePrewarm(const std::string& root);
    void rescanGlobalSkillsThen(std::function<void()> done);
    // What a refresh does once the file index is rebuilt: rescan the project's sources.
    void refreshSources(const std::optional<std::string>& root);
    void detectProjectAfter(double delay);
    std::string frontmostBundleID() const;

    Parts parts_;
    std::optional<AppRecord> lastNonKorvaneApp_;
    std::vector<AppRecord> recentAppHistory_;
    bool isCurrentRootWeak_ = false;
    std::vector<std::shared_ptr<SnippetProvider>> providers_;
    std::map<std::string, std::shared_ptr<CustomProvider>> customLiveProviders_;
    // What config.json looked like at the last load or save of ours: a change event for the same
    // bytes (our own history or trust writes in the folder) reloads nothing.
    std::optional<std::string> configFingerprint_;
    std::optional<PendingChange> pendingChange_;
};

} // namespace korvane
