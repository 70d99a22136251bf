// Following the user: application switches, the project they belong to, and the configuration
// reloads that change what the project offers. Main thread.
#include "app/appcoordinator.h"
#include "app/projecttrustprompt.h"

#include "base/diagnostics.h"
#include "base/fileio.h"
#include "base/sha256.h"
#include "files/filepathprovider.h"
#include "providers/globalskillprovider.h"
#include "providers/manualsnippetprovider.h"
#include "settings/views/configurationwindow.h"
#include "app/statusbarcontroller.h"

#include <algorithm>

namespace korvane {

namespace {

// Builds the project's path index and recent files ahead of the first file query. Any thread.
void warmFileSearch(FilePathProvider& files, const std::string& root) {
    files.prewarm(root);
    files.recentTracker().refreshIfStale(root);
}

} // namespace

void AppCoordinator::startProjectDetection() {
    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    projectDetector_->onProjectChanged = [weak](const std::optional<std::string>& root,
                                                const std::optional<std::string>& name) {
        if (auto self = weak.lock()) {
            self->executeCommands(self->sessionEngine_.projectDidChange(root, name));
        }
    };
    if (platform_.workspaceEvents) {
        platform_.workspaceEvents->start([weak](const WorkspaceEvents::Activation& activation) {
            if (auto self = weak.lock()) {
                self->handleAppActivation(activation);
            }
        });
    }
    scheduler_.postAfter(firstDetectionDelay, [weak] {
        if (auto self = weak.lock()) {
            self->projectDetector_->detectProjectRoot();
        }
    });
}

void AppCoordinator::handleAppActivation(const WorkspaceEvents::Activation& activation) {
    const bool ownApp = activation.pid == platform_.ownPid || activation.bundleID == platform_.ownBundleID;
    if (activation.bundleID && !ownApp && activation.name) {
        AppRecord record{*activation.bundleID, *activation.name};
        lastNonKorvaneApp_ = record;
        std::erase_if(recentAppHistory_, [&](const AppRecord& app) { return app.bundleID == record.bundleID; });
        recentAppHistory_.insert(recentAppHistory_.begin(), record);
        if (recentAppHistory_.size() > recentAppLimit) {
            recentAppHistory_.pop_back();
        }
    }
    dismissAndExecute(CompletionSessionEngine::DismissReason::appSwitch, CompletionSessionEngine::ResetMode::reset);
    triggerDetector_->reset();
    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    scheduler_.postAfter(switchDetectionDelay, [weak] {
        if (auto self = weak.lock()) {
            self->projectDetector_->detectProjectRoot();
        }
    });
}

void AppCoordinator::handleProjectChange(const std::optional<std::string>& root,
                                         const std::optional<std::string>& name) {
    diagnostic("Project changed: " + name.value_or("(none)") + " at " + root.value_or("(nil)"));
    statusBar_->setProjectTitle("Project: " + name.value_or("(none)"));
    if (!root) {
        if (configManager_->currentConfigProjectRoot()) {
            applyProjectConfig(std::nullopt);
        }
        diagnostic("Clearing project snippets (detection failed)");
        scanPipeline_->scanGeneration += 1;
        scanPipeline_->lastScanRoot.reset();
        scanPipeline_->lastScanTime.reset();
        scanPipeline_->scanInFlight = false;
        registry_->removeSnippets();
        watcherManager_->refreshDirtySources(std::nullopt);
        applySkillSnippets();
        diagnostic("Registry snippet count after clear: " + std::to_string(registry_->indexedSnippets().size()));
        updateSnippetCount();
        if (!skillsDisabled() && !globalSkills_->hasScanned()) {
            rescanGlobalSkillsThen([weak = weak_from_this()] {
                auto self = weak.lock();
                if (self && !self->projectDetector_->currentProjectRoot()) {
                    self->applySkillSnippets();
                    self->updateSnippetCount();
                }
            });
        }
        return;
    }
    if (configManager_->currentConfigProjectRoot() != root) {
        applyProjectConfig(root);
    }
    if (!ProjectDetector::isProjectRoot(*root, *platform_.fileProbe)) {
        isCurrentRootWeak_ = true;
        diagnostic("Weak root (no project markers), skipping scan: " + *root);
        if (scanPipeline_->lastScanRoot != root) {
            registry_->removeSnippets();
        }
        scanPipeline_->scanGeneration += 1;
        scanPipeline_->lastScanRoot = root;
        scanPipeline_->lastScanTime = platform_.clock.monotonicNow();
        scanPipeline_->scanInFlight = false;
        applySkillSnippets();
        registry_->currentProjectRoot = root;
        updateSnippetCount();
    } else {
        isCurrentRootWeak_ = false;
        scanPipeline_->scanProject(*root);
        schedulePrewarm(*root);
    }
}

void AppCoordinator::applyProjectConfig(const std::optional<std::string>& root) {
    configManager_->stopProjectConfigWatcher();
    watcherManager_->stopAllWatchers();
    if (!root) {
        configManager_->clearProjectConfig();
        refreshSnippetsFromConfig(true);
        return;
    }
    configManager_->setProjectRoot(*root);
    refreshSnippetsFromConfig(true);
    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    configManager_->startProjectConfigWatcher(*root, [weak] {
        if (auto self = weak.lock()) {
            self->handleProjectConfigChange();
        }
    });
    if (ProjectDetector::isProjectRoot(*root, *platform_.fileProbe)) {
        watcherManager_->startProjectWatchers(*root);
    }
}

void AppCoordinator::refreshSnippetsFromConfig(bool skipRescan) {
    applyConfigToSearch();
    watcherManager_->startGlobalSkillWatchers();
    const auto& root = projectDetector_->currentProjectRoot();
    if (root && ProjectDetector::isProjectRoot(*root, *platform_.fileProbe)) {
        watcherManager_->startProjectWatchers(*root);
    } else {
        watcherManager_->stopAllWatchers();
    }

    PopupViewModel& model = popupController_->viewModel();
    model.setThemeConfig(configManager_->themeConfig());
    model.setTriggerText(configManager_->globalConfig().trigger);
    const MergedConfig& merged = configManager_->mergedConfig();
    filePaths_->configure(merged.settings.fileInsertionMode.value_or("projectRelative"), merged.includePaths);

    const std::string bundleID = frontmostBundleID();
    registry_->updateSnippets(SnippetSource::manual(), configManager_->mergedManualSnippets(bundleID, root));
    configManager_->markManualSnippetsUpdated(bundleID, root);
    updateSnippetCount();
    updateTrustOffers();

    if (!skipRescan) {
        scanPipeline_->snippetCache.clear();
        scanPipeline_->lastScanRoot.reset();
        scanPipeline_->lastScanTime.reset();
        if (root) {
            scanPipeline_->scanProject(*root);
        }
    }
}

void AppCoordinator::reloadGlobalConfig() {
    // Writes of ours beside config.json (history, trust) and rewrites with the same bytes change nothing.
    if (configFileUnchanged()) {
        return;
    }
    const ConfigManager::GlobalReloadResult result = configManager_->reloadGlobalConfig();
    triggerDetector_->setTrigger(configManager_->globalConfig().trigger);
    statusBar_->setConfigError(result.parseError);
    refreshSnippetsFromConfig(!result.changed);
    if (configurationViewModel_) {
        // The settings model compares the file with what it last wrote or loaded: its own write
        // changes nothing, anyone else's is taken in under the window's unsaved changes.
        configurationViewModel_->reloadDraftFromDisk();
    }
    diagnostic("Global config reloaded, merged with project config");
}

void AppCoordinator::handleProjectConfigChange() {
    const bool rescan = configManager_->reloadProjectConfig();
    refreshSnippetsFromConfig(!rescan);
    diagnostic("Project config reloaded");
}

void AppCoordinator::handleRefreshRequested() {
    PopupViewModel& model = popupController_->viewModel();
    if (!popupController_->window().isVisible() || !searchCoordinator_->activeQuery() || model.isRefreshing()) {
        return;
    }
    model.setRefreshing(true);
    const auto root = currentRoot();
    // The root's file index is rebuilt first, so that the refreshed results list its files as they are now.
    if (root && !registry_->disabledSources().contains(SnippetSource::filePath())) {
        Scheduler* scheduler = &scheduler_;
        filePaths_->refresh(*root, [weak = weak_from_this(), scheduler, root] {
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

void AppCoordinator::refreshSources(const std::optional<std::string>& root) {
    PopupViewModel& model = popupController_->viewModel();
    if (isCurrentRootWeak_) {
        if (root && ProjectDetector::isProjectRoot(*root, *platform_.fileProbe)) {
            diagnostic("Promoting weak root to strong: " + *root);
            isCurrentRootWeak_ = false;
            scanPipeline_->lastScanRoot.reset();
            scanPipeline_->lastScanTime.reset();
            applyProjectConfig(root);
            scanPipeline_->scanProject(*root);
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
            self->searchCoordinator_->rerenderForRegistryChange(self->currentRoot(), self->caseSensitive(),
                                                                self->configManager_->activeCategories());
            self->popupController_->viewModel().setRefreshing(false);
        });
        return;
    }
    scanPipeline_->lastScanRoot.reset();
    scanPipeline_->lastScanTime.reset();
    if (configManager_->currentConfigProjectRoot()) {
        configManager_->reloadProjectConfig();
        applyConfigToSearch();
        registry_->updateSnippets(SnippetSource::manual(),
                                  ManualSnippetProvider(configManager_->mergedConfig().snippets).snippets(""));
    }
    scanPipeline_->scanProviders(providers_, root);
}

void AppCoordinator::prewarmFilePaths(const std::string& root) {
    warmFileSearch(*filePaths_, root);
}

// Trusting runs the project's commands from now on: the providers are made again to pick that up.
// Only what the confirmation showed is trusted; a file changed meanwhile is offered again.
void AppCoordinator::trustProjectCommands(std::size_t index) {
    const auto requests = configManager_->projectsAwaitingTrust();
    if (index >= requests.size()) {
        return;
    }
    const ProjectTrustRequest shown = requests[index];
    if (!platform_.alerts->confirm(ProjectTrustPrompt::title, ProjectTrustPrompt::message(shown),
                                   ProjectTrustPrompt::acceptLabel)) {
        return;
    }
    if (auto trusted = configManager_->trustProjectCommands(shown); !trusted) {
        showInfoAlert("Trust Failed", trusted.error());
        return;
    }
    refreshSnippetsFromConfig(false);
}

// Helpers.

// The providers, scopes, categories and switched-off sources of the configuration as it now stands; a
// custom provider that left it takes its snippets along.
void AppCoordinator::applyConfigToSearch() {
    const std::vector<std::string> previousCustomIDs = customCategoryIDs();
    const SearchContext context = configManager_->makeSearchContext();
    applyProviders(configManager_->makeProviders());
    searchCoordinator_->updateScopeManifest(context.scopeRegistry);
    registry_->setDisabledSources(context.disabledSources);
    registry_->categoryCatalog = context.categoryCatalog;
    dropRemovedCustomSources(previousCustomIDs);
}

bool AppCoordinator::skillsDisabled() const {
    return registry_->disabledSources().contains(SnippetSource::claudeSkill());
}

void AppCoordinator::applySkillSnippets() {
    registry_->updateSnippets(SnippetSource::claudeSkill(),
                              skillsDisabled() ? std::vector<Snippet>{} : globalSkills_->cachedSnippets());
}

void AppCoordinator::updateSnippetCount() {
    statusBar_->setSnippetCount(registry_->indexedSnippets().size());
}

std::vector<std::string> AppCoordinator::customCategoryIDs() const {
    std::vector<std::string> ids;
    if (registry_->categoryCatalog) {
        for (const auto& [id, definition] : registry_->categoryCatalog->custom) {
            ids.push_back(id);
        }
    }
    return ids;
}

void AppCoordinator::dropRemovedCustomSources(const std::vector<std::string>& previousIDs) {
    for (const std::string& id : previousIDs) {
        if (!registry_->categoryCatalog || !registry_->categoryCatalog->custom.contains(id)) {
            registry_->updateSnippets(SnippetSource::custom(id), {});
        }
    }
}

void AppCoordinator::updateTrustOffers() {
    std::vector<std::string> labels;
    for (const auto& request : configManager_->projectsAwaitingTrust()) {
        labels.push_back(request.projectRoot);
    }
    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    statusBar_->setProjectTrustOffers(std::move(labels), [weak](std::size_t index) {
        if (auto self = weak.lock()) {
            self->trustProjectCommands(index);
        }
    });
}

void AppCoordinator::schedulePrewarm(const std::string& root) {
    if (registry_->disabledSources().contains(SnippetSource::filePath())) {
        return;
    }
    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    Scheduler* scheduler = &scheduler_;
    scheduler_.postAfter(prewarmDelay, [weak, scheduler, root] {
        const auto self = weak.lock();
        if (!self) {
            return;
        }
        scheduler->runInBackground(
            TaskPriority::utility,
            [files = self->filePaths_, root](const CancellationToken&) { warmFileSearch(*files, root); });
    });
}

// The scan runs off the main thread; `done` runs on it afterwards.
void AppCoordinator::rescanGlobalSkillsThen(std::function<void()> done) {
    Scheduler* scheduler = &scheduler_;
    scheduler_.runInBackground(TaskPriority::utility, [scheduler, skills = globalSkills_,
                                                       done = std::move(done)](const CancellationToken&) {
        skills->refresh();
        scheduler->post(done);
    });
}

bool AppCoordinator::configFileUnchanged() {
    const auto path = configManager_->configLoader().configFilePath();
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
