#include "app/appcoordinator.h"

#include "app/statusbarcontroller.h"
#include "app/testhost.h"
#include "base/diagnostics.h"
#include "base/graphemetext.h"
#include "config/enabledsourcespolicy.h"
#include "config/projectconfigwatcher.h"
#include "detail/detailpreviewcontroller.h"
#include "detail/previewcontentservice.h"
#include "files/filepathprovider.h"
#include "files/filepathproviderfactory.h"
#include "files/gitcommandrunner.h"
#include "files/gitlsfilesbroker.h"
#include "files/gitproviderfactories.h"
#include "files/gitscanlister.h"
#include "popup/popupsearchdisplay.h"
#include "providers/globalskillprovider.h"
#include "providers/manualsnippetprovider.h"
#include "providers/projectproviderfactories.h"
#include "providers/shellcommandrunner.h"
#include "registry/historystorereader.h"
#include "registry/parsedquery.h"
#include "search/filepathsearchsource.h"
#include "settings/views/configurationwindow.h"
#include "onboarding/views/onboardingwindow.h"

namespace korvane {

std::shared_ptr<AppCoordinator> AppCoordinator::create(AppPlatform platform) {
    std::shared_ptr<AppCoordinator> coordinator(new AppCoordinator(std::move(platform)));
    coordinator->construct();
    return coordinator;
}

AppCoordinator::AppCoordinator(AppPlatform platform)
    : platform_(std::move(platform))
    , scheduler_(platform_.scheduler) {}

// The objects that need the coordinator's weak pointer are made here, in the order the parts depend
// on each other; nothing is read from disk and nothing is shown yet.
void AppCoordinator::construct() {
    statusBar_ = std::make_shared<StatusBarController>(platform_.secureInput, platform_.trust);
    eventTap_ = std::make_shared<EventTap>(platform_.keyTapBackend, platform_.trust, scheduler_, platform_.clock);
    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    Scheduler* scheduler = &scheduler_;
    // Called on the key tap's thread after the detector has let go of its lock.
    triggerDetector_ = std::make_shared<TriggerDetector>(
        [weak, scheduler](const SessionEvent& event) {
            scheduler->post([weak, event] {
                if (auto self = weak.lock()) {
                    self->handleSessionEvent(event);
                }
            });
        },
        platform_.clock);
    triggerDetector_->setHandledEvents(0);
    registry_ = std::make_shared<SnippetRegistry>(platform_.clock);
    listingBroker_ = std::make_shared<GitLsFilesBroker>(platform_.clock);
    filePaths_ =
        FilePathProvider::create(platform_.clock, GitCommandRunner(platform_.processRunner).commandRunner(),
                                 platform_.scanPool, listingBroker_);
    globalSkills_ = std::make_shared<GlobalSkillProvider>(GlobalSkillProvider::defaultRoots());
    projectDetector_ =
        std::make_unique<ProjectDetector>(platform_.activeApp, platform_.processTable, platform_.fileProbe);
    // The detail panel's controller, made for the popup's view model, loads through one preview
    // cache and git's branch figures.
    previewContentService_ = std::make_shared<PreviewContentService>(platform_.thumbnails);
    popupController_ = platform_.makePopupController(
        [this, branches = std::make_shared<const GitBranchMetadataProvider>(quietGitRunner(platform_.processRunner))](
            const DetailPreviewTiming& timing) -> std::shared_ptr<DetailPreviewController> {
            return detailpanel::DetailPreviewController::create(
                timing, {scheduler_, platform_.clock, previewContentService_, branches});
        });
    configWatcher_ =
        ConfigWatcher::create(platform_.configDirectory.string(), scheduler_, platform_.fileWatchSource);
    historyStore_ = HistoryStore::create(scheduler_, platform_.clock, platform_.configDirectory);
}

AppCoordinator::~AppCoordinator() {
    // The tap thread calls into the detector and posts to the scheduler: it stops before either goes.
    eventTap_->stop();
    if (platform_.workspaceEvents) {
        platform_.workspaceEvents->stop();
    }
    if (platform_.memoryPressure) {
        platform_.memoryPressure->stop();
    }
    configWatcher_->stop();
    if (watcherManager_) {
        watcherManager_->stopAllWatchers();
    }
    if (configurationViewModel_) {
        // A settings edit still inside its save delay is written before Korvane goes.
        configurationViewModel_->flushPendingSave();
    }
    historyStore_->flush();
}

void AppCoordinator::start() {
    if (isRunningTests()) {
        return;
    }
    configManager_ = std::make_unique<ConfigManager>(
        ConfigLoader(platform_.configDirectory), ProjectConfigWatcher::factory(scheduler_, platform_.fileWatchSource),
        platform_.capabilities);
    installProviderFactories();
    configManager_->loadGlobalConfig();
    // What was loaded is what later change events are compared against.
    configFileUnchanged();
    triggerDetector_->setTrigger(configManager_->globalConfig().trigger);
    registry_->historyStore = std::make_shared<HistoryStoreReader>(historyStore_);
    std::weak_ptr<HistoryStore> history = historyStore_;
    scheduler_.post([history] {
        if (auto store = history.lock()) {
            store->load();
        }
    });

    createSearchCoordinator();
    createScanPipeline();
    createWatcherManager();
    wireFilePathProvider();

    const SearchContext context = configManager_->makeSearchContext();
    registry_->setDisabledSources(context.disabledSources);
    registry_->categoryCatalog = context.categoryCatalog;
    startGlobalSkillScan();
    watcherManager_->startGlobalSkillWatchers();
    applyProviders(configManager_->makeProviders());
    searchCoordinator_->updateScopeManifest(context.scopeRegistry);

    PopupViewModel& model = popupController_->viewModel();
    model.setThemeConfig(configManager_->themeConfig());
    model.setTriggerText(configManager_->globalConfig().trigger);
    registry_->updateSnippets(SnippetSource::manual(),
                              ManualSnippetProvider(configManager_->mergedConfig().snippets).snippets(""));

    statusBar_->setup();
    updateSnippetCount();
    statusBar_->setConfigError(configManager_->configLoader().lastParseError());
    installMenuCallbacks();
    updateTrustOffers();

    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    configWatcher_->onChange = [weak] {
        if (auto self = weak.lock()) {
            self->reloadGlobalConfig();
        }
    };
    configWatcher_->start();
    startMemoryPressureMonitoring();
    scheduler_.post([weak] {
        if (auto self = weak.lock()) {
            self->startIfPermitted(true);
        }
    });
}

// The providers live in libraries above the configuration: the application hands their makers in.
void AppCoordinator::installProviderFactories() {
    ProviderFactories& factories = configManager_->providerFactories;
    installProjectProviderFactories(
        factories, GitScanLister(platform_.processRunner, listingBroker_).lister(), globalSkills_);
    installGitProviderFactories(factories, platform_.processRunner);
    installFilePathProviderFactory(factories, filePaths_);
    auto shellRunner = std::make_shared<ShellCommandRunner>(platform_.processRunner);
    factories.custom = [shellRunner](const CustomProviderConfig& config, const CommandTrust& trust) {
        return CustomProvider::make(config, trust, shellRunner);
    };
}

void AppCoordinator::createSearchCoordinator() {
    searchCoordinator_ = SearchCoordinator::create(*registry_, std::make_shared<PopupSearchDisplay>(popupController_),
                                                   scheduler_, platform_.clock);
    const auto& files = filePaths_;
    searchCoordinator_->liveScopeProviders = {{SnippetSource::filePath(), files}};
    searchCoordinator_->filePathSource = std::make_shared<FilePathSearchSource>(files);

    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    searchCoordinator_->onDismissNeeded = [weak] {
        if (auto self = weak.lock()) {
            self->dismissAndExecute(CompletionSessionEngine::DismissReason::escaped,
                                    CompletionSessionEngine::ResetMode::reset);
        }
    };
    searchCoordinator_->onHorizontalSuppressionChanged = [weak](bool suppress) {
        if (auto self = weak.lock()) {
            self->triggerDetector_->setSuppressHorizontalKeys(suppress);
        }
    };
    searchCoordinator_->contextProvider = [weak]() -> std::optional<SearchCoordinator::LiveSearchContext> {
        auto self = weak.lock();
        return self ? self->searchContext() : std::nullopt;
    };
    searchCoordinator_->frontmostApplication = [weak] {
        SearchCoordinator::FrontmostApplicationInfo info;
        if (auto self = weak.lock()) {
            const auto front = self->sessionApplication();
            info.bundleID = front ? front->bundleID : std::string();
            info.name = self->lastNonKorvaneApp_ && self->lastNonKorvaneApp_->bundleID == info.bundleID
                            ? self->lastNonKorvaneApp_->name
                            : info.bundleID;
        }
        return info;
    };
}

void AppCoordinator::createScanPipeline() {
    scanPipeline_ = std::make_shared<ScanPipeline>(registry_, scheduler_, platform_.scanPool, platform_.clock);
    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    scanPipeline_->onScanProgress = [weak](std::size_t count) {
        if (auto self = weak.lock()) {
            self->statusBar_->setSnippetCount(count);
            self->searchCoordinator_->rerenderForRegistryChange(self->currentRoot(), self->caseSensitive(),
                                                                self->configManager_->activeCategories());
        }
    };
    scanPipeline_->onScanCompleted = [weak] {
        if (auto self = weak.lock()) {
            self->watcherManager_->refreshDirtySources(self->projectDetector_->currentProjectRoot());
            self->searchCoordinator_->handleScanRefresh();
        }
    };
    scanPipeline_->onScanFinished = [weak] {
        if (auto self = weak.lock()) {
            PopupViewModel& model = self->popupController_->viewModel();
            if (model.isRefreshing()) {
                model.setRefreshing(false);
            }
        }
    };
}

void AppCoordinator::createWatcherManager() {
    WatcherManager::Sources sources = WatcherManager::Sources::standard(globalSkills_);
    if (configManager_->providerFactories.fileScanner) {
        sources.fileScanner = configManager_->providerFactories.fileScanner;
    }
    watcherManager_ = std::make_shared<WatcherManager>(registry_, statusBar_, scheduler_, platform_.fileWatchSource,
                                                       std::move(sources));
    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    watcherManager_->isScanInFlight = [weak] {
        auto self = weak.lock();
        return self && self->scanPipeline_ && self->scanPipeline_->scanInFlight;
    };
    watcherManager_->getCurrentProjectRoot = [weak]() -> std::optional<std::string> {
        auto self = weak.lock();
        return self ? self->projectDetector_->currentProjectRoot() : std::nullopt;
    };
    watcherManager_->enabledSourcesSnapshot = [weak] {
        auto self = weak.lock();
        if (!self) {
            return WatcherManager::defaultEnabledSourcesSnapshot();
        }
        const auto& custom = self->configManager_->mergedConfig().customProviders;
        return EnabledSourcesPolicy::resolve(self->configManager_->activeCategories(),
                                           CategoryCatalog::makeSnapshot(custom.value_or(
                                               std::vector<CustomProviderConfig>{})));
    };
    watcherManager_->onSourceRefreshed = [weak] {
        if (auto self = weak.lock()) {
            self->searchCoordinator_->rerenderForRegistryChange(self->currentRoot(), self->caseSensitive(),
                                                                self->configManager_->activeCategories());
        }
    };
}

// Both callbacks come from the recent-files machinery's own threads.
void AppCoordinator::wireFilePathProvider() {
    FilePathProvider& files = *filePaths_;
    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    Scheduler* scheduler = &scheduler_;
    files.onRecentFilesReady = [weak, scheduler](const std::string& root) {
        scheduler->post([weak, root] {
            if (auto self = weak.lock()) {
                self->searchCoordinator_->handleRecentFilesReady(self->projectDetector_->currentProjectRoot(), root);
            }
        });
    };
    files.syncRecentFilesCallbacks();
    files.onRecentFilesLoadingChanged = [weak, scheduler](const std::string& root, bool isLoading) {
        scheduler->post([weak, root, isLoading] {
            auto self = weak.lock();
            if (!self || root != self->projectDetector_->currentProjectRoot() ||
                !self->searchCoordinator_->activeQuery()) {
                return;
            }
            const ParsedQuery parsed =
                ParsedQuery::parse(*self->searchCoordinator_->activeQuery(), self->searchCoordinator_->scopeRegistry());
            const bool filesOnly = parsed.scopes && parsed.scopes->size() == 1 &&
                                   parsed.scopes->front() == SnippetSource::filePath();
            self->popupController_->viewModel().setLoadingRecentFiles(filesOnly && isLoading);
        });
    };
    files.syncRecentFilesCallbacks();
}

void AppCoordinator::startGlobalSkillScan() {
    if (skillsDisabled()) {
        registry_->updateSnippets(SnippetSource::claudeSkill(), {});
        return;
    }
    scheduler_.runInBackground(TaskPriority::utility,
                               [skills = globalSkills_](const CancellationToken&) { skills->refresh(); });
}

void AppCoordinator::installMenuCallbacks() {
    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    statusBar_->onEditConfig = [weak] {
        if (auto self = weak.lock()) {
            self->editConfig();
        }
    };
    statusBar_->onOpenConfiguration = [weak] {
        if (auto self = weak.lock()) {
            self->showConfigurationWindow();
        }
    };
    statusBar_->onOpenOnboarding = [weak] {
        if (auto self = weak.lock()) {
            self->showOnboarding(true);
        }
    };
    statusBar_->onCheckForUpdates = [weak] {
        if (auto self = weak.lock(); self && self->checkForUpdates) {
            self->checkForUpdates();
        }
    };
}

void AppCoordinator::applyProviders(ProviderSet set) {
    providers_ = std::move(set.providers);
    customLiveProviders_.clear();
    for (auto& [id, provider] : set.customLiveProviders) {
        if (auto custom = std::dynamic_pointer_cast<CustomProvider>(provider)) {
            customLiveProviders_.emplace(id, std::move(custom));
        }
    }
    searchCoordinator_->customLiveProviders = {customLiveProviders_.begin(), customLiveProviders_.end()};
    scanPipeline_->providers = providers_;
}

void AppCoordinator::startIfPermitted(bool showOnboardingIfNeeded) {
    const bool trusted = platform_.trust->isTrusted();
    if (trusted) {
        if (!isSessionStarted_) {
            isSessionStarted_ = startSession();
        }
        if (showOnboardingIfNeeded && !platform_.defaults->boolForKey(hasCompletedOnboardingKey)) {
            showOnboarding(false);
        }
    } else if (showOnboardingIfNeeded) {
        showOnboarding(false);
    }
    if (!isProjectDetectionStarted_) {
        startProjectDetection();
        isProjectDetectionStarted_ = true;
    }
}

bool AppCoordinator::startSession() {
    configureTriggerDetector();
    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    std::weak_ptr<TriggerDetector> detector = triggerDetector_;
    Scheduler* scheduler = &scheduler_;
    eventTap_->onTapReenabled = [weak, detector, scheduler] {
        if (auto locked = detector.lock()) {
            locked->reset();
        }
        scheduler->post([weak] {
            if (auto self = weak.lock()) {
                self->dismissAndExecute(CompletionSessionEngine::DismissReason::tapReenable,
                                        CompletionSessionEngine::ResetMode::reset);
            }
        });
    };
    eventTap_->onMouseDown = [weak, detector, scheduler] {
        auto locked = detector.lock();
        if (!locked) {
            return;
        }
        if (locked->state() == TriggerDetector::State::idle) {
            locked->clearPartialTrigger();
            return;
        }
        scheduler->post([weak] {
            if (auto self = weak.lock()) {
                self->dismissAndExecute(CompletionSessionEngine::DismissReason::escaped,
                                        CompletionSessionEngine::ResetMode::reset);
            }
        });
    };
    eventTap_->onPermissionRevoked = [weak, scheduler] {
        scheduler->post([weak] {
            if (auto self = weak.lock()) {
                self->handlePermissionRevoked();
            }
        });
    };
    eventTap_->setKeyWithholding(triggerDetector_);
    // The handler holds the detector itself, so a key that arrives while the coordinator goes away
    // still has a detector to ask.
    const bool started = eventTap_->start(
        [detector, onTapKey = platform_.onTapKey](std::uint16_t keyCode, const std::optional<std::string>& characters,
                                                  std::uint64_t flags) {
            if (onTapKey) {
                onTapKey();
            }
            auto locked = detector.lock();
            return locked && locked->processKey(keyCode, characters, flags);
        });
    if (started) {
        const std::string& trigger = configManager_->globalConfig().trigger;
        if (trigger.empty()) {
            diagnostic("Ready, but the trigger is empty: set \"trigger\" in config.json to activate.");
        } else {
            diagnostic("Ready. Type " + trigger + " to activate.");
        }
    } else {
        diagnostic("Event tap failed to start. Showing onboarding.");
        showOnboarding(false);
    }
    return started;
}

// One handler takes every session event: it only hops to the main thread (see construct()).
void AppCoordinator::configureTriggerDetector() {
    triggerDetector_->setHandledEvents(allSessionEvents);
}

void AppCoordinator::clearUpdateAvailable() {
    statusBar_->clearUpdateNotice();
}

void AppCoordinator::editConfig() {
    openURL("file://" + configManager_->configLoader().configFilePath().string());
}

void AppCoordinator::openURL(const std::string& url) {
    platform_.urlOpener->open(url);
}

} // namespace korvane
