// Following the user: application switches, the project they belong to, and the configuration
// reloads that change what the project offers. Main thread.
#include "app/projectfollower.h"

#include "app/projecttrustprompt.h"
#include "base/diagnostics.h"
#include "base/fileio.h"
#include "base/sha256.h"
#include "files/filepathprovider.h"
#include "providers/globalskillprovider.h"
#include "providers/manualsnippetprovider.h"

#include <algorithm>

namespace korvane {

namespace {

// Builds the project's path index and recent files ahead of the first file query. Any thread.
void warmFileSearch(FilePathProvider& files, const std::string& root) {
    files.prewarm(root);
    files.recentTracker().refreshIfStale(root);
}

} // namespace

ProjectFollower::ProjectFollower(Parts parts)
    : parts_(std::move(parts)) {}

void ProjectFollower::applyLoadedConfig() {
    const SearchContext context = parts_.configManager.makeSearchContext();
    parts_.registry->setDisabledSources(context.disabledSources);
    parts_.registry->categoryCatalog = context.categoryCatalog;
    startGlobalSkillScan();
    parts_.watcherManager->startGlobalSkillWatchers();
    applyProviders(parts_.configManager.makeProviders());
    parts_.searchCoordinator->updateScopeManifest(context.scopeRegistry);

    PopupViewModel& model = parts_.popupController->viewModel();
    model.setThemeConfig(parts_.configManager.themeConfig());
    model.setTriggerText(parts_.configManager.globalConfig().trigger);
    parts_.registry->updateSnippets(
        SnippetSource::manual(),
        ManualSnippetProvider(parts_.configManager.mergedConfig().snippets).snippets(""));
}

void ProjectFollower::applyProviders(ProviderSet set) {
    providers_ = std::move(set.providers);
    customLiveProviders_.clear();
    for (auto& [id, provider] : set.customLiveProviders) {
        if (auto custom = std::dynamic_pointer_cast<CustomProvider>(provider)) {
            customLiveProviders_.emplace(id, std::move(custom));
        }
    }
    parts_.searchCoordinator->customLiveProviders = {customLiveProviders_.begin(),
                                                     customLiveProviders_.end()};
    parts_.scanPipeline->providers = providers_;
}

void ProjectFollower::startGlobalSkillScan() {
    if (skillsDisabled()) {
        parts_.registry->updateSnippets(SnippetSource::claudeSkill(), {});
        return;
    }
    parts_.scheduler.runInBackground(
        TaskPriority::utility,
        [skills = parts_.globalSkills](const CancellationToken&) { skills->refresh(); });
}

void ProjectFollower::startProjectDetection() {
    std::weak_ptr<ProjectFollower> weak = weak_from_this();
    parts_.projectDetector.onProjectChanged = [weak](const std::optional<std::string>& root,
                                                     const std::optional<std::string>& name) {
        if (auto self = weak.lock()) {
            self->parts_.flow->projectDidChange(root, name);
        }
    };
    if (parts_.workspaceEvents) {
        parts_.workspaceEvents->start([weak](const WorkspaceEvents::Activation& activation) {
            if (auto self = weak.lock()) {
                self->handleAppActivation(activation);
            }
        });
    }
    detectProjectAfter(firstDetectionDelay);
}

void ProjectFollower::handleAppActivation(const WorkspaceEvents::Activation& activation) {
    recordApplication(activation);
    parts_.projectDetector.applicationActivated(
        FrontmostApplication{activation.bundleID.value_or(""), activation.pid.value_or(0)});
    parts_.flow->dismissAndExecute(CompletionSessionEngine::DismissReason::appSwitch,
                                   CompletionSessionEngine::ResetMode::reset);
    parts_.triggerDetector->reset();
    parts_.tabBaseline->read();
    detectProjectAfter(switchDetectionDelay);
}

void ProjectFollower::recordApplication(const WorkspaceEvents::Activation& activation) {
    const bool ownApp = activation.pid == parts_.ownPid || activation.bundleID == parts_.ownBundleID;
    if (activation.bundleID && !ownApp && activation.name) {
        AppRecord record{*activation.bundleID, *activation.name};
        lastNonKorvaneApp_ = record;
        std::erase_if(recentAppHistory_,
                      [&](const AppRecord& app) { return app.bundleID == record.bundleID; });
        recentAppHistory_.insert(recentAppHistory_.begin(), record);
        if (recentAppHistory_.size() > recentAppLimit) {
            recentAppHistory_.pop_back();
        }
    }
}

void ProjectFollower::detectProjectAfter(double delay) {
    std::weak_ptr<ProjectFollower> weak = weak_from_this();
    parts_.scheduler.postAfter(delay, [weak] {
        if (auto self = weak.lock()) {
            // Inside tmux this waits for the server as the trigger's detection does, as briefly.
            self->parts_.projectDetector.detectProjectRoot();
        }
    });
}

void ProjectFollower::handleProjectChange(const std::optional<std::string>& root,
                                          const std::optional<std::string>& name) {
    if (pendingChange_) {
        pendingChange_->deadline.cancel();
        pendingChange_.reset();
    }
    diagnostic("Project changed: " + name.value_or("(none)") + " at " + root.value_or("(nil)"));
    parts_.statusBar->setProjectTitle("Project: " + name.value_or("(none)"));
    if (!root) {
        clearProject();
        return;
    }
    if (parts_.configManager.currentConfigProjectRoot() != root) {
        applyProjectConfig(root);
    }
    if (!ProjectDetector::isProjectRoot(*root, *parts_.fileProbe)) {
        isCurrentRootWeak_ = true;
        diagnostic("Weak root (no project markers), skipping scan: " + *root);
        if (parts_.scanPipeline->lastScanRoot != root) {
            parts_.registry->removeSnippets();
        }
        parts_.scanPipeline->scanGeneration += 1;
        parts_.scanPipeline->lastScanRoot = root;
        parts_.scanPipeline->lastScanTime = parts_.clock.monotonicNow();
        parts_.scanPipeline->scanInFlight = false;
        applySkillSnippets();
        parts_.registry->currentProjectRoot = root;
        updateSnippetCount();
    } else {
        isCurrentRootWeak_ = false;
        parts_.scanPipeline->scanProject(*root);
        schedulePrewarm(*root);
    }
}

void ProjectFollower::beginProjectChange(const std::optional<std::string>& root,
                                         const std::optional<std::string>& name) {
    if (pendingChange_) {
        pendingChange_->deadline.cancel();
    }
    leaveProject(root);
    std::weak_ptr<ProjectFollower> weak = weak_from_this();
    pendingChange_ = PendingChange{root, name, parts_.scheduler.postAfter(changeFinishDelay, [weak] {
                                       if (auto self = weak.lock()) {
                                           self->finishProjectChange();
                                       }
                                   })};
}

void ProjectFollower::finishProjectChange() {
    if (!pendingChange_) {
        return;
    }
    PendingChange change = std::move(*pendingChange_);
    pendingChange_.reset();
    change.deadline.cancel();
    handleProjectChange(change.root, change.name);
    // A scan shows its rows in the open popup as they arrive; without one the popup is shown again here.
    if (!parts_.scanPipeline->scanInFlight) {
        rerenderSearch();
    }
}

void ProjectFollower::handleSessionBegan(const std::optional<std::string>& root) {
    ScanPipeline& scans = *parts_.scanPipeline;
    if (!root || pendingChange_ || !scans.sourcesMoved(*root)) {
        return;
    }
    scans.snippetCache.erase(*root);
    scans.lastScanRoot.reset();
    scans.lastScanTime.reset();
    scans.scanProject(*root);
    updateSnippetCount();
}

// The popup that opens over `root` shows nothing of the project left behind: its scanned rows leave and
// its scans and watchers still running are outdated, and its own file, when it had one, no longer adds
// snippets, commands or settings. The user's own skills stay; the new project's rows count as loading.
void ProjectFollower::leaveProject(const std::optional<std::string>& root) {
    ScanPipeline& scans = *parts_.scanPipeline;
    scans.scanGeneration += 1;
    scans.lastScanRoot.reset();
    scans.lastScanTime.reset();
    scans.scanInFlight = true;
    parts_.registry->removeSnippets();
    applySkillSnippets();
    parts_.watcherManager->stopAllWatchers();
    if (parts_.configManager.projectConfig()) {
        parts_.configManager.stopProjectConfigWatcher();
        parts_.configManager.clearProjectConfig();
        applyConfigToSearch();
        configureFileSearch();
        publishManualSnippets(root);
    }
}

// Detection found no project: its snippets, scans and configuration go; the global skills stay.
void ProjectFollower::clearProject() {
    if (parts_.configManager.currentConfigProjectRoot()) {
        applyProjectConfig(std::nullopt);
    }
    diagnostic("Clearing project snippets (detection failed)");
    parts_.scanPipeline->scanGeneration += 1;
    parts_.scanPipeline->lastScanRoot.reset();
    parts_.scanPipeline->lastScanTime.reset();
    parts_.scanPipeline->scanInFlight = false;
    parts_.registry->removeSnippets();
    parts_.watcherManager->refreshDirtySources(std::nullopt);
    applySkillSnippets();
    diagnostic("Registry snippet count after clear: " +
               std::to_string(parts_.registry->indexedSnippets().size()));
    updateSnippetCount();
    if (!skillsDisabled() && !parts_.globalSkills->hasScanned()) {
        rescanGlobalSkillsThen([weak = weak_from_this()] {
            auto self = weak.lock();
            if (self && !self->parts_.projectDetector.currentProjectRoot()) {
                self->applySkillSnippets();
                self->updateSnippetCount();
            }
        });
    }
}

void ProjectFollower::applyProjectConfig(const std::optional<std::string>& root) {
    parts_.configManager.stopProjectConfigWatcher();
    parts_.watcherManager->stopAllWatchers();
    if (!root) {
        parts_.configManager.clearProjectConfig();
        refreshSnippetsFromConfig(true);
        return;
    }
    parts_.configManager.setProjectRoot(*root);
    refreshSnippetsFromConfig(true);
    watchProjectConfig(*root);
    if (ProjectDetector::isProjectRoot(*root, *parts_.fileProbe)) {
        parts_.watcherManager->startProjectWatchers(*root);
    }
}

void ProjectFollower::watchProjectConfig(const std::string& root) {
    std::weak_ptr<ProjectFollower> weak = weak_from_this();
    parts_.configManager.startProjectConfigWatcher(root, [weak] {
        if (auto self = weak.lock()) {
            self->handleProjectConfigChange();
        }
    });
}

void ProjectFollower::refreshSnippetsFromConfig(bool skipRescan) {
    applyConfigToSearch();
    parts_.watcherManager->startGlobalSkillWatchers();
    const auto& root = parts_.projectDetector.currentProjectRoot();
    if (root && ProjectDetector::isProjectRoot(*root, *parts_.fileProbe)) {
        parts_.watcherManager->startProjectWatchers(*root);
    } else {
        parts_.watcherManager->stopAllWatchers();
    }

    PopupViewModel& model = parts_.popupController->viewModel();
    model.setThemeConfig(parts_.configManager.themeConfig());
    model.setTriggerText(parts_.configManager.globalConfig().trigger);
    configureFileSearch();

    publishManualSnippets(root);
    updateSnippetCount();
    updateTrustOffers();

    if (!skipRescan) {
        parts_.scanPipeline->snippetCache.clear();
        parts_.scanPipeline->lastScanRoot.reset();
        parts_.scanPipeline->lastScanTime.reset();
        if (root) {
            parts_.scanPipeline->scanProject(*root);
        }
    }
}

void ProjectFollower::reloadGlobalConfig() {
    // Writes of ours beside config.json (history, trust) and rewrites with the same bytes change nothing.
    if (configFileUnchanged()) {
        return;
    }
    const ConfigManager::GlobalReloadResult result = parts_.configManager.reloadGlobalConfig();
    parts_.triggerDetector->setTrigger(parts_.configManager.globalConfig().trigger);
    parts_.statusBar->setConfigError(result.parseError);
    refreshSnippetsFromConfig(!result.changed);
    if (onGlobalConfigReloaded) {
        onGlobalConfigReloaded();
    }
    diagnostic("Global config reloaded, merged with project config");
}

void ProjectFollower::handleProjectConfigChange() {
    const bool rescan = parts_.configManager.reloadProjectConfig();
    refreshSnippetsFromConfig(!rescan);
    diagnostic("Project config reloaded");
}

void ProjectFollower::handleRefreshRequested() {
    PopupViewModel& model = parts_.popupController->viewModel();
    if (!parts_.popupController->window().isVisible() || !parts_.searchCoordinator->activeQuery() ||
        model.isRefreshing()) {
        return;
    }
    model.setRefreshing(true);
    finishProjectChange();
    const auto root = parts_.flow->currentRoot();
    // The root's file index is rebuilt first, so that the refreshed results list its files as they are now.
    if (root && !parts_.registry->disabledSources().contains(SnippetSource::filePath())) {
        Scheduler* scheduler = &parts_.scheduler;
        parts_.filePaths->refresh(*root, [weak = weak_from_this(), scheduler, root] {
            scheduler->post([weak, root] {
                if (auto self = weak.lock()) {
                    self->refreshSources(root);
                }
            });
        });
        return;
    }
    refreshSources(root);
}

void ProjectFollower::refreshSources(const std::optional<std::string>& root) {
    PopupViewModel& model = parts_.popupController->viewModel();
    if (isCurrentRootWeak_) {
        if (root && ProjectDetector::isProjectRoot(*root, *parts_.fileProbe)) {
            diagnostic("Promoting weak root to strong: " + *root);
            isCurrentRootWeak_ = false;
            parts_.scanPipeline->lastScanRoot.reset();
            parts_.scanPipeline->lastScanTime.reset();
            applyProjectConfig(root);
            parts_.scanPipeline->scanProject(*root);
            schedulePrewarm(*root);
            return;
        }
        if (skillsDisabled()) {
            model.setRefreshing(false);
            return;
        }
        rescanGlobalSkillsThen([weak = weak_from_this()] {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            self->applySkillSnippets();
            self->updateSnippetCount();
            self->rerenderSearch();
            self->parts_.popupController->viewModel().setRefreshing(false);
        });
        return;
    }
    parts_.scanPipeline->lastScanRoot.reset();
    parts_.scanPipeline->lastScanTime.reset();
    if (const auto configRoot = parts_.configManager.currentConfigProjectRoot()) {
        parts_.configManager.reloadProjectConfig();
        applyConfigToSearch();
        publishManualSnippets(root);
        // A project file made since the project was opened holds from now on: the file search takes
        // its include_paths, the tray offers trust for its commands, and its later edits are followed.
        configureFileSearch();
        updateTrustOffers();
        if (!parts_.configManager.projectConfigWatcher()) {
            watchProjectConfig(*configRoot);
        }
    }
    parts_.scanPipeline->scanProviders(providers_, root);
}

// Trusting runs the project's commands from now on: the providers are made again to pick that up.
// Only what the confirmation showed is trusted; a file changed meanwhile is offered again. A request
// too long to show whole is never asked about, only explained: this is the one way trust is given.
void ProjectFollower::trustProjectCommands(std::size_t index) {
    const auto requests = parts_.configManager.projectsAwaitingTrust();
    if (index >= requests.size()) {
        return;
    }
    const ProjectTrustRequest shown = requests[index];
    const auto message = ProjectTrustPrompt::message(shown);
    if (!message) {
        parts_.alerts->showInfoAlert(ProjectTrustPrompt::refusedTitle, message.error());
        return;
    }
    if (!parts_.alerts->confirm(ProjectTrustPrompt::title, *message, ProjectTrustPrompt::acceptLabel)) {
        return;
    }
    if (auto trusted = parts_.configManager.trustProjectCommands(shown); !trusted) {
        parts_.alerts->showInfoAlert("Trust Failed", trusted.error());
        return;
    }
    refreshSnippetsFromConfig(false);
}

// The user's own commands run in the folder with its repository's own configuration from now on: the
// providers are made again so that nothing they printed before is kept.
void ProjectFollower::trustFolder() {
    const auto folder = parts_.configManager.folderAwaitingTrust();
    if (!folder || !parts_.alerts->confirm(
                       ProjectTrustPrompt::folderTitle,
                       ProjectTrustPrompt::folderMessage(*folder, parts_.folderWaitingReason(*folder)),
                       ProjectTrustPrompt::acceptLabel)) {
        return;
    }
    if (auto trusted = parts_.configManager.trustFolder(*folder); !trusted) {
        parts_.alerts->showInfoAlert("Trust Failed", trusted.error());
        return;
    }
    refreshSnippetsFromConfig(false);
}

// Nothing to confirm: taking trust back only makes things safer, and trusting again undoes it. The
// providers are made again so that nothing the trusted commands printed is kept.
void ProjectFollower::stopTrustingFolder() {
    const auto folder = parts_.configManager.trustedFolder();
    if (!folder) {
        return;
    }
    if (auto distrusted = parts_.configManager.stopTrusting(*folder); !distrusted) {
        parts_.alerts->showInfoAlert("Stop Trusting Failed", distrusted.error());
    }
    refreshSnippetsFromConfig(false);
}

// Trust given or taken back in the file, by hand or by another program, holds as if given in the tray:
// the project's snippets, its commands' output and the tray's offers follow.
void ProjectFollower::handleTrustStoreChange() {
    if (!parts_.configManager.reloadTrust()) {
        return;
    }
    diagnostic("Trusted projects file changed, project trust reloaded");
    refreshSnippetsFromConfig(false);
    rerenderSearch();
}

// Helpers.

// The providers, scopes, categories and switched-off sources of the configuration as it now stands; a
// custom provider that left it takes its snippets along.
void ProjectFollower::applyConfigToSearch() {
    const std::vector<std::string> previousCustomIDs = customCategoryIDs();
    const SearchContext context = parts_.configManager.makeSearchContext();
    applyProviders(parts_.configManager.makeProviders());
    parts_.searchCoordinator->updateScopeManifest(context.scopeRegistry);
    parts_.registry->setDisabledSources(context.disabledSources);
    parts_.registry->categoryCatalog = context.categoryCatalog;
    dropRemovedCustomSources(previousCustomIDs);
}

void ProjectFollower::configureFileSearch() {
    const MergedConfig& merged = parts_.configManager.mergedConfig();
    parts_.filePaths->configure(merged.settings.fileInsertionMode.value_or("projectRelative"),
                                merged.includePaths);
}

bool ProjectFollower::skillsDisabled() const {
    return parts_.registry->disabledSources().contains(SnippetSource::claudeSkill());
}

void ProjectFollower::applySkillSnippets() {
    parts_.registry->updateSnippets(SnippetSource::claudeSkill(),
                                    skillsDisabled() ? std::vector<Snippet>{}
                                                     : parts_.globalSkills->cachedSnippets());
}

// Each snippet keeps its scope: a project's own that is not trusted must be known as one, so that it
// never expands with the user's snippets or clipboard.
void ProjectFollower::publishManualSnippets(const std::optional<std::string>& root) {
    const std::string bundleID = frontmostBundleID();
    parts_.registry->updateSnippets(SnippetSource::manual(),
                                    parts_.configManager.mergedManualSnippets(bundleID, root));
    parts_.configManager.markManualSnippetsUpdated(bundleID, root);
}

void ProjectFollower::rerenderSearch() {
    parts_.searchCoordinator->rerenderForRegistryChange(
        parts_.flow->currentRoot(), parts_.flow->caseSensitive(), parts_.configManager.activeCategories());
}

std::string ProjectFollower::frontmostBundleID() const {
    const auto front = parts_.activeApp->frontmostApplication();
    return front ? front->bundleID : std::string();
}

void ProjectFollower::updateSnippetCount() {
    parts_.statusBar->setSnippetCount(parts_.registry->indexedSnippets().size());
}

std::vector<std::string> ProjectFollower::customCategoryIDs() const {
    std::vector<std::string> ids;
    if (parts_.registry->categoryCatalog) {
        for (const auto& [id, definition] : parts_.registry->categoryCatalog->custom) {
            ids.push_back(id);
        }
    }
    return ids;
}

void ProjectFollower::dropRemovedCustomSources(const std::vector<std::string>& previousIDs) {
    for (const std::string& id : previousIDs) {
        if (!parts_.registry->categoryCatalog || !parts_.registry->categoryCatalog->custom.contains(id)) {
            parts_.registry->updateSnippets(SnippetSource::custom(id), {});
        }
    }
}

void ProjectFollower::updateTrustOffers() {
    std::vector<std::string> labels;
    for (const auto& request : parts_.configManager.projectsAwaitingTrust()) {
        labels.push_back(request.projectRoot);
    }
    std::weak_ptr<ProjectFollower> weak = weak_from_this();
    parts_.statusBar->setProjectTrustOffers(std::move(labels), [weak](std::size_t index) {
        if (auto self = weak.lock()) {
            self->trustProjectCommands(index);
        }
    });
    std::function<void()> trustFolder;
    if (parts_.configManager.folderAwaitingTrust()) {
        trustFolder = [weak] {
            if (auto self = weak.lock()) {
                self->trustFolder();
            }
        };
    }
    parts_.statusBar->setFolderTrustOffer(std::move(trustFolder));
    const auto trust = parts_.configManager.projectTrusted()
                           ? StatusBarController::FolderTrust::projectAndFolder
                           : StatusBarController::FolderTrust::folderAlone;
    parts_.statusBar->setTrustedFolder(parts_.configManager.trustedFolder(), trust, [weak] {
        if (auto self = weak.lock()) {
            self->stopTrustingFolder();
        }
    });
}

void ProjectFollower::schedulePrewarm(const std::string& root) {
    if (parts_.registry->disabledSources().contains(SnippetSource::filePath())) {
        return;
    }
    std::weak_ptr<ProjectFollower> weak = weak_from_this();
    Scheduler* scheduler = &parts_.scheduler;
    parts_.scheduler.postAfter(prewarmDelay, [weak, scheduler, root] {
        const auto self = weak.lock();
        if (!self) {
            return;
        }
        scheduler->runInBackground(TaskPriority::utility,
                                   [files = self->parts_.filePaths, root](const CancellationToken&) {
                                       warmFileSearch(*files, root);
                                   });
    });
}

// The scan runs off the main thread; `done` runs on it afterwards.
void ProjectFollower::rescanGlobalSkillsThen(std::function<void()> done) {
    Scheduler* scheduler = &parts_.scheduler;
    parts_.scheduler.runInBackground(
        TaskPriority::utility,
        [scheduler, skills = parts_.globalSkills, done = std::move(done)](const CancellationToken&) {
            skills->refresh();
            scheduler->post(done);
        });
}

bool ProjectFollower::configFileUnchanged() {
    const auto path = parts_.configManager.configLoader().configFilePath();
    std::string fingerprint = "missing";
    if (std::filesystem::exists(path)) {
        auto bytes = readRegularFile(path);
        const Sha256Digest digest = sha256(bytes ? *bytes : std::string());
        fingerprint = bytes ? lowerHex(digest.data(), digest.size()) : "unreadable";
    }
    const bool unchanged = configFingerprint_ == fingerprint;
    configFingerprint_ = std::move(fingerprint);
    return unchanged;
}

} // namespace korvane
