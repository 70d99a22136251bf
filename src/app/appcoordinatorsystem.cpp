// Permission loss and return, memory pressure, and the two windows the coordinator owns. Main thread.
#include "app/appcoordinator.h"

#include "base/diagnostics.h"
#include "detail/previewcontentservice.h"
#include "files/filepathprovider.h"
#include "settings/views/configurationwindow.h"
#include "onboarding/views/onboardingwindow.h"
#include "app/statusbarcontroller.h"

namespace korvane {

void AppCoordinator::handlePermissionRevoked() {
    eventTap_->stop();
    isSessionStarted_ = false;
    dismissAndExecute(CompletionSessionEngine::DismissReason::escaped, CompletionSessionEngine::ResetMode::reset);
    hidePopup();
    triggerDetector_->reset();
    searchCoordinator_->resetSession();
    statusBar_->updateOnboardingItem(platform_.trust->isTrusted());
    showOnboarding(true);
}

void AppCoordinator::handleOnboardingPermissionGranted() {
    const bool trusted = platform_.trust->isTrusted();
    statusBar_->updateOnboardingItem(trusted);
    if (trusted && !isSessionStarted_) {
        isSessionStarted_ = startSession();
    }
    if (!isProjectDetectionStarted_) {
        startProjectDetection();
        isProjectDetectionStarted_ = true;
    }
}

void AppCoordinator::startMemoryPressureMonitoring() {
    if (!platform_.memoryPressure) {
        return;
    }
    if (isMonitoringMemoryPressure_) {
        platform_.memoryPressure->stop();
    }
    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    platform_.memoryPressure->start([weak](const MemoryPressureEvent& event) {
        if (auto self = weak.lock()) {
            self->handleMemoryPressure(event);
        }
    });
    isMonitoringMemoryPressure_ = true;
}

// Only caches that are rebuilt on demand go; the registry, history, configuration and the search on
// screen stay.
void AppCoordinator::handleMemoryPressure(const MemoryPressureEvent& event) {
    const char* level = event.critical ? "critical" : event.warning ? "warning" : "unknown";
    diagnostic(std::string("Memory pressure detected (") + level + "), evicting optional caches");
    filePaths_->clearAllCaches();
    if (scanPipeline_) {
        scanPipeline_->snippetCache.clear();
    }
    popupController_->viewModel().clearLabelCache();
    previewContentService_->clear();
    popupController_->viewModel().detail().clearMetadata();
}

void AppCoordinator::showConfigurationWindow() {
    if (!configurationWindow_) {
        std::weak_ptr<AppCoordinator> weak = weak_from_this();
        configurationViewModel_ = std::make_shared<ConfigurationViewModel>(
            configManager_->configLoader(), scheduler_,
            [weak]() -> std::optional<ConfigurationViewModel::AppRecord> {
                auto self = weak.lock();
                if (!self || !self->lastNonKorvaneApp_) {
                    return std::nullopt;
                }
                return ConfigurationViewModel::AppRecord{self->lastNonKorvaneApp_->bundleID,
                                                         self->lastNonKorvaneApp_->name};
            },
            [weak] {
                std::vector<ConfigurationViewModel::AppRecord> apps;
                if (auto self = weak.lock()) {
                    for (const AppRecord& app : self->recentAppHistory_) {
                        apps.push_back({app.bundleID, app.name});
                    }
                }
                return apps;
            });
        configurationWindow_ = std::make_unique<ConfigurationWindow>(
            configurationViewModel_,
            ConfigurationServices{platform_.urlOpener, platform_.capabilities, platform_.applications, &scheduler_,
                                  configurationViewModel_->configFilePath(), platform_.ownBundleID});
    }
    configurationWindow_->showAndActivate();
}

void AppCoordinator::showOnboarding(bool openAtPermissionStep) {
    const bool trusted = platform_.trust->isTrusted();
    if (!onboardingWindow_) {
        onboardingViewModel_ = OnboardingViewModel::create(platform_.trust, scheduler_);
        if (openAtPermissionStep && !trusted &&
            onboardingViewModel_->currentStep() != OnboardingStep::ready) {
            onboardingViewModel_->setCurrentStep(OnboardingStep::ready);
        }
        isOnboardingActive_ = true;
        std::string bundleID = lastNonKorvaneApp_ ? lastNonKorvaneApp_->bundleID : frontmostBundleID();
        onboardingCapturedContext_ = CapturedContext{std::move(bundleID), projectDetector_->currentProjectRoot()};
        std::weak_ptr<AppCoordinator> weak = weak_from_this();
        onboardingViewModel_->onPermissionGranted = [weak] {
            if (auto self = weak.lock()) {
                self->handleOnboardingPermissionGranted();
            }
        };
        onboardingViewModel_->onOpenConfiguration = [weak] {
            if (auto self = weak.lock()) {
                self->showConfigurationWindow();
            }
        };
        onboardingViewModel_->onDismiss = [weak] {
            if (auto self = weak.lock()) {
                self->dismissOnboarding();
            }
        };
        onboardingViewModel_->onComplete = [weak] {
            if (auto self = weak.lock()) {
                self->finishOnboarding(true);
            }
        };
        onboardingWindow_ = std::make_unique<OnboardingWindow>(
            onboardingViewModel_, OnboardingView::Environment{scheduler_, platform_.applicationIcon});
        onboardingWindow_->onWindowClose = [weak] {
            if (auto self = weak.lock()) {
                self->dismissOnboarding();
            }
        };
    } else {
        // A flow left open while the permission went must not offer to finish as if it held.
        onboardingViewModel_->refreshPermission();
        if (openAtPermissionStep && !trusted &&
            onboardingViewModel_->currentStep() != OnboardingStep::ready) {
            onboardingViewModel_->setCurrentStep(OnboardingStep::ready);
        }
    }
    onboardingWindow_->showAndActivate();
}

void AppCoordinator::dismissOnboarding() {
    if (!isOnboardingActive_) {
        return;
    }
    // Cleared first: closing the window reports the close, which must then find nothing to do.
    isOnboardingActive_ = false;
    onboardingCapturedContext_.reset();
    auto window = std::move(onboardingWindow_);
    if (window) {
        window->close();
    }
    onboardingViewModel_.reset();
    // The window may be inside its own close handler: it goes once the event loop is back.
    if (window) {
        auto* raw = window.release();
        scheduler_.post([raw] { delete raw; });
    }
}

void AppCoordinator::finishOnboarding(bool markCompleted) {
    dismissOnboarding();
    if (markCompleted) {
        platform_.defaults->setBool(hasCompletedOnboardingKey, true);
    }
}

} // namespace korvane
