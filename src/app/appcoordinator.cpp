#include "app/appcoordinator.h"

#include "app/statusbarcontroller.h"
#include "app/testhost.h"
#include "base/diagnostics.h"
#include "base/weakcallback.h"
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
#include "files/projectstatestamp.h"
#include "popup/popupsearchdisplay.h"
#include "providers/globalskillprovider.h"
#include "providers/manualsnippetprovider.h"
#include "providers/projectproviderfactories.h"
#include "providers/shellcommandrunner.h"
#include "registry/historystorereader.h"
#include "registry/parsedquery.h"
#include "search/filepathsearchsource.h"

namespace korvane {

namespace {

// How long after the trigger a session looks whether its project's files changed: past the popup's
// first frame (about 25 ms at the 95th percentile in a 136,000-file project), and within the time a
// user takes to type the first characters of a query.
constexpr double sessionFileLookDelay = 0.1;

} // namespace

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
    eventTap_ =
        std::make_shared<EventTap>(platform_.keyTapBackend, platform_.trust, scheduler_, platform_.clock);
    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    Scheduler* scheduler = &scheduler_;
    // Called on the key tap's thread after the detector has let go of its lock.
    triggerDetector_ = std::make_shared<TriggerDetector>(
        [weak, scheduler](const SessionEvent& event) {
            scheduler->post([weak, event] {
                if (auto self = weak.lock(); self && self->flow_) {
                    self->flow_->handleSessionEvent(event);
                }
            });
        },
        platform_.clock);
    triggerDetector_->setHandledEvents(0);
    registry_ = std::make_shared<SnippetRegistry>(platform_.clock);
    listingBroker_ = std::make_shared<GitLsFilesBroker>(platform_.clock);
    filePaths_ =
        FilePathProvider::create(platform_.clock, GitCommandRunner(platform_.processRunner).commandRunner(),
                                 platform_.scanPool, listingBroker_, platform_.treeWatchSource);
    globalSkills_ = std::make_shared<GlobalSkillProvider>(GlobalSkillProvider::defaultRoots());
    projectDetector_ = std::make_unique<ProjectDetector>(
        platform_.activeApp, platform_.processTable, platform_.fileProbe,
        platform_.processRunner ? std::make_unique<TmuxPaneFinder>(
                                      platform_.processTable, platform_.processRunner, platform_.tmuxPool,
                                      ProgramOnPath::korvaneSearchPath(), platform_.clock)
                                : nullptr,
        platform_.processRunner ? std::make_unique<ScreenWindowFinder>(
                                      platform_.processTable, platform_.processRunner, platform_.tmuxPool,
                                      ProgramOnPath::korvaneSearchPath(), platform_.clock)
                                : nullptr);
    // The detail panel's controller, made for the popup's view model, loads through one preview
    // cache and git's branch figures.
    previewContentService_ = std::make_shared<PreviewContentService>(platform_.thumbnails);
    popupController_ = platform_.makePopupController(
        [this, branches = std::make_shared<const GitBranchMetadataProvider>(
                   quietGitRunner(platform_.processRunner))](
            const DetailPreviewTiming& timing) -> std::shared_ptr<DetailPreviewController> {
            return detailpanel::DetailPreviewController::create(
                timing, {scheduler_, platform_.clock, previewContentService_, branches});
        });
    configWatcher_ =
        ConfigWatcher::create(platform_.configDirectory.string(), scheduler_, platform_.fileWatchSource);
    trustStoreWatcher_ =
        TrustStoreWatcher::create(platform_.configDirectory.string(), scheduler_, platform_.fileWatchSource);
    historyStore_ =
        HistoryStore::create(scheduler_, platform_.clock, platform_.configDirectory, platform_.historyQueue);
}

AppCoordinator::~AppCoordinator() {
    // The tap thread calls into the detector and posts to the scheduler: it stops before either goes.
    eventTap_->stop();
    if (shell_) {
        shell_->quit();
    }
    configWatcher_->stop();
    trustStoreWatcher_->stop();
    historyStore_->flush();
}

void AppCoordinator::start() {
    if (isRunningTests()) {
        return;
    }
    configManager_ = std::make_unique<ConfigManager>(
        ConfigLoader(platform_.configDirectory),
        ProjectConfigWatcher::factory(scheduler_, platform_.fileWatchSource), platform_.capabilities);
    installProviderFactories();
    configManager_->loadGlobalConfig();
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
    createFlow();
    tabBaseline_ = std::make_shared<TabBaselineReader>(scheduler_, projectDetector_->tabBaselineShelf(),
                                                       triggerDetector_);
    createFollower();
    createShell();
    wireSearchCoordinator();
    wireFilePathProvider();
    // What was loaded is what later change events are compared against.
    follower_->configFileUnchanged();
    follower_->applyLoadedConfig();
    statusBar_->setup();
    follower_->updateSnippetCount();
    statusBar_->setConfigError(configManager_->configLoader().lastParseError());
    installMenuCallbacks();
    follower_->updateTrustOffers();

    std::weak_ptr<ProjectFollower> follower = follower_;
    configWatcher_->onChange = weakCallback(follower, &ProjectFollower::reloadGlobalConfig);
    configWatcher_->start();
    trustStoreWatcher_->onChange = weakCallback(follower, &ProjectFollower::handleTrustStoreChange);
    trustStoreWatcher_->start();
    shell_->startMemoryPressureMonitoring();
    std::weak_ptr<ShellLifecycle> shell = shell_;
    scheduler_.post([shell] {
        if (auto locked = shell.lock()) {
            locked->startIfPermitted(true);
        }
    });
}

void AppCoordinator::installProviderFactories() {
    ProviderFactories& factories = configManager_->providerFactories;
    installProjectProviderFactories(
        factories, GitScanLister(platform_.processRunner, listingBroker_).lister(), globalSkills_);
    installGitProviderFactories(factories, platform_.processRunner);
    installFilePathProviderFactory(factories, filePaths_);
    shellRunner_ = std::make_shared<ShellCommandRunner>(platform_.processRunner);
    factories.custom = [shellRunner = shellRunner_](const CustomProviderConfig& config,
                                                    const CommandTrust& trust) {
        return CustomProvider::make(config, trust, shellRunner);
    };
}

void AppCoordinator::createSearchCoordinator() {
    searchCoordinator_ = SearchCoordinator::create(
        *registry_, std::make_shared<PopupSearchDisplay>(popupController_), scheduler_, platform_.clock);
    const auto& files = filePaths_;
    searchCoordinator_->liveScopeProviders = {{SnippetSource::filePath(), files}};
    searchCoordinator_->filePathSource = std::make_shared<FilePathSearchSource>(files);
}

void AppCoordinator::createScanPipeline() {
    scanPipeline_ =
        std::make_shared<ScanPipeline>(registry_, scheduler_, platform_.scanPool, platform_.clock);
    scanPipeline_->sourcesStamp = &ProjectStateStamp::takeAccess;
}

void AppCoordinator::createWatcherManager() {
    WatcherManager::Sources sources = WatcherManager::Sources::standard(globalSkills_);
    if (configManager_->providerFactories.fileScanner) {
        sources.fileScanner = configManager_->providerFactories.fileScanner;
    }
    watcherManager_ = std::make_shared<WatcherManager>(registry_, statusBar_, scheduler_,
                                                       platform_.fileWatchSource, std::move(sources));
}

void AppCoordinator::createFlow() {
    flow_ = std::make_shared<CompletionFlow>(CompletionFlow::Parts{
        .scheduler = scheduler_,
        .triggerDetector = triggerDetector_,
        .popupController = popupController_,
        .searchCoordinator = searchCoordinator_,
        .scanPipeline = scanPipeline_,
        .historyStore = historyStore_,
        .configManager = *configManager_,
        .projectDetector = *projectDetector_,
        .registry = registry_,
        .activeApp = platform_.activeApp,
        .secureInput = platform_.secureInput,
        .pasteboard = platform_.pasteboard,
        .injector = platform_.injector,
        .alerts = platform_.alerts,
        .urlOpener = platform_.urlOpener,
        .ownPid = platform_.ownPid,
    });
}

void AppCoordinator::createFollower() {
    follower_ = std::make_shared<ProjectFollower>(ProjectFollower::Parts{
        .scheduler = scheduler_,
        .clock = platform_.clock,
        .fileProbe = platform_.fileProbe,
        .workspaceEvents = platform_.workspaceEvents,
        .activeApp = platform_.activeApp,
        .alerts = platform_.alerts,
        .configManager = *configManager_,
        .projectDetector = *projectDetector_,
        .registry = registry_,
        .scanPipeline = scanPipeline_,
        .watcherManager = watcherManager_,
        .searchCoordinator = searchCoordinator_,
        .popupController = popupController_,
        .statusBar = statusBar_,
        .triggerDetector = triggerDetector_,
        .flow = flow_,
        .tabBaseline = tabBaseline_,
        .filePaths = filePaths_,
        .globalSkills = globalSkills_,
        .ownBundleID = platform_.ownBundleID,
        .ownPid = platform_.ownPid,
        .folderWaitingReason =
            [runner = shellRunner_](const std::string& folder) { return runner->waitingReason(folder); },
    });
    flow_->onProjectChange = weakCallback(follower_, &ProjectFollower::handleProjectChange);
    flow_->onProjectChangeAtTrigger = weakCallback(follower_, &ProjectFollower::beginProjectChange);
    if (platform_.popupFirstFrame) {
        // Told from within the window's event handling, which the rest of a change must not hold up.
        platform_.popupFirstFrame->add([scheduler = &scheduler_, follower = std::weak_ptr(follower_)] {
            scheduler->post(weakCallback(follower, &ProjectFollower::finishProjectChange));
        });
    }
    flow_->onRefreshRequested = weakCallback(follower_, &ProjectFollower::handleRefreshRequested);
    flow_->onConfigSaved = weakCallback(follower_, &ProjectFollower::reloadGlobalConfig);
    // A project whose repository or folder went away since it was read is read again before the first
    // search. Files made or committed since the project's list was made are offered in this session. The
    // look runs on the file search's workers, and only once the popup's first frame is out, as its stat
    // calls would otherwise take the processor from that frame.
    flow_->onSessionBegan = [scheduler = &scheduler_, files = std::weak_ptr(filePaths_), registry = registry_,
                             follower = std::weak_ptr(follower_)](const std::optional<std::string>& root) {
        if (const auto locked = follower.lock()) {
            locked->handleSessionBegan(root);
        }
        if (!root || registry->disabledSources().contains(SnippetSource::filePath())) {
            return;
        }
        scheduler->postAfter(sessionFileLookDelay, [files, root = *root] {
            if (const auto locked = files.lock()) {
                locked->checkForChanges(root);
            }
        });
    };
}

void AppCoordinator::createShell() {
    shell_ = std::make_shared<ShellLifecycle>(ShellLifecycle::Parts{
        .scheduler = scheduler_,
        .trust = platform_.trust,
        .defaults = platform_.defaults,
        .memoryPressure = platform_.memoryPressure,
        .workspaceEvents = platform_.workspaceEvents,
        .urlOpener = platform_.urlOpener,
        .capabilities = platform_.capabilities,
        .applications = platform_.applications,
        .ownBundleID = platform_.ownBundleID,
        .activeApp = platform_.activeApp,
        .eventTap = eventTap_,
        .triggerDetector = triggerDetector_,
        .statusBar = statusBar_,
        .popupController = popupController_,
        .searchCoordinator = searchCoordinator_,
        .scanPipeline = scanPipeline_,
        .watcherManager = watcherManager_,
        .filePaths = filePaths_,
        .previewContentService = previewContentService_,
        .configManager = *configManager_,
        .projectDetector = *projectDetector_,
        .flow = flow_,
        .follower = follower_,
        .tabBaseline = tabBaseline_,
        .onTapKey = platform_.onTapKey,
        .applicationIcon = platform_.applicationIcon,
    });
    std::weak_ptr<ShellLifecycle> shell = shell_;
    flow_->onboardingContext = [shell]() -> std::optional<CompletionFlow::CapturedContext> {
        auto locked = shell.lock();
        return locked ? locked->onboardingContext() : std::nullopt;
    };
    follower_->onGlobalConfigReloaded = weakCallback(shell, &ShellLifecycle::handleGlobalConfigReloaded);
}

void AppCoordinator::wireSearchCoordinator() {
    std::weak_ptr<CompletionFlow> flow = flow_;
    std::weak_ptr<ProjectFollower> follower = follower_;
    std::weak_ptr<TriggerDetector> detector = triggerDetector_;
    searchCoordinator_->onDismissNeeded = [flow] {
        if (auto locked = flow.lock()) {
            locked->dismissAndExecute(CompletionSessionEngine::DismissReason::escaped,
                                      CompletionSessionEngine::ResetMode::reset);
        }
    };
    searchCoordinator_->onHorizontalSuppressionChanged =
        weakCallback(detector, &TriggerDetector::setSuppressHorizontalKeys);
    searchCoordinator_->contextProvider = [flow]() -> std::optional<SearchCoordinator::LiveSearchContext> {
        auto locked = flow.lock();
        return locked ? locked->searchContext() : std::nullopt;
    };
    searchCoordinator_->frontmostApplication = [flow, follower] {
        SearchCoordinator::FrontmostApplicationInfo info;
        auto lockedFlow = flow.lock();
        auto lockedFollower = follower.lock();
        if (lockedFlow && lockedFollower) {
            const auto front = lockedFlow->sessionApplication();
            const auto& last = lockedFollower->lastNonKorvaneApp();
            info.bundleID = front ? front->bundleID : std::string();
            info.name = last && last->bundleID == info.bundleID ? last->name : info.bundleID;
        }
        return info;
    };

    std::weak_ptr<WatcherManager> watchers = watcherManager_;
    std::weak_ptr<SearchCoordinator> search = searchCoordinator_;
    std::weak_ptr<PopupController> popup = popupController_;
    ProjectDetector* projects = projectDetector_.get();
    scanPipeline_->onScanProgress = [follower, statusBar = std::weak_ptr(statusBar_)](std::size_t count) {
        auto locked = follower.lock();
        auto bar = statusBar.lock();
        if (locked && bar) {
            bar->setSnippetCount(count);
            locked->rerenderSearch();
        }
    };
    scanPipeline_->onScanCompleted = [follower, watchers, search, projects] {
        auto alive = follower.lock();
        auto lockedWatchers = watchers.lock();
        auto lockedSearch = search.lock();
        if (alive && lockedWatchers && lockedSearch) {
            lockedWatchers->refreshDirtySources(projects->currentProjectRoot());
            lockedSearch->handleScanRefresh();
        }
    };
    scanPipeline_->onScanFinished = [popup] {
        if (auto locked = popup.lock(); locked && locked->viewModel().isRefreshing()) {
            locked->viewModel().setRefreshing(false);
        }
    };
    wireWatcherManager();
}

void AppCoordinator::wireWatcherManager() {
    std::weak_ptr<ProjectFollower> follower = follower_;
    std::weak_ptr<ScanPipeline> scans = scanPipeline_;
    ProjectDetector* projects = projectDetector_.get();
    ConfigManager* config = configManager_.get();
    watcherManager_->isScanInFlight = [scans] {
        auto locked = scans.lock();
        return locked && locked->scanInFlight;
    };
    watcherManager_->getCurrentProjectRoot = [follower, projects]() -> std::optional<std::string> {
        return follower.lock() ? projects->currentProjectRoot() : std::nullopt;
    };
    watcherManager_->enabledSourcesSnapshot = [follower, config] {
        if (!follower.lock()) {
            return WatcherManager::defaultEnabledSourcesSnapshot();
        }
        const auto& custom = config->mergedConfig().customProviders;
        return EnabledSourcesPolicy::resolve(
            config->activeCategories(),
            CategoryCatalog::makeSnapshot(custom.value_or(std::vector<CustomProviderConfig>{})));
    };
    watcherManager_->onSourceRefreshed = weakCallback(follower, &ProjectFollower::rerenderSearch);
}

// Both callbacks come from the recent-files machinery's own threads.
void AppCoordinator::wireFilePathProvider() {
    FilePathProvider& files = *filePaths_;
    std::weak_ptr<SearchCoordinator> search = searchCoordinator_;
    std::weak_ptr<PopupController> popup = popupController_;
    ProjectDetector* projects = projectDetector_.get();
    Scheduler* scheduler = &scheduler_;
    files.onRecentFilesReady = [search, projects, scheduler](const std::string& root) {
        scheduler->post([search, projects, root] {
            if (auto locked = search.lock()) {
                locked->handleRecentFilesReady(projects->currentProjectRoot(), root);
            }
        });
    };
    files.syncRecentFilesCallbacks();
    files.onRecentFilesLoadingChanged = [search, popup, projects, scheduler](const std::string& root,
                                                                             bool isLoading) {
        scheduler->post([search, popup, projects, root, isLoading] {
            auto lockedSearch = search.lock();
            auto lockedPopup = popup.lock();
            if (!lockedSearch || !lockedPopup || root != projects->currentProjectRoot() ||
                !lockedSearch->activeQuery()) {
                return;
            }
            const ParsedQuery parsed =
                ParsedQuery::parse(*lockedSearch->activeQuery(), lockedSearch->scopeRegistry());
            const bool filesOnly = parsed.scopes && parsed.scopes->size() == 1 &&
                                   parsed.scopes->front() == SnippetSource::filePath();
            lockedPopup->viewModel().setLoadingRecentFiles(filesOnly && isLoading);
        });
    };
    files.syncRecentFilesCallbacks();
}

void AppCoordinator::installMenuCallbacks() {
    std::weak_ptr<ShellLifecycle> shell = shell_;
    statusBar_->onEditConfig = weakCallback(shell, &ShellLifecycle::editConfig);
    statusBar_->onOpenConfiguration = weakCallback(shell, &ShellLifecycle::showConfigurationWindow);
    statusBar_->onOpenOnboarding = [shell] {
        if (auto locked = shell.lock()) {
            locked->showOnboarding(true);
        }
    };
    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    statusBar_->onCheckForUpdates = [weak] {
        if (auto self = weak.lock(); self && self->checkForUpdates) {
            self->checkForUpdates();
        }
    };
}

} // namespace korvane
