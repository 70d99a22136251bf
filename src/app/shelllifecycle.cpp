// Permission loss and return, memory pressure, the settings and onboarding windows, and quitting.
// Main thread.
#include "app/shelllifecycle.h"

#include "base/diagnostics.h"
#include "base/weakcallback.h"
#include "detail/previewcontentservice.h"
#include "files/filepathprovider.h"
#include "onboarding/onboardingviewmodel.h"
#include "onboarding/views/onboardingwindow.h"
#include "settings/configurationviewmodel.h"
#include "settings/views/configurationwindow.h"
#include "uikit/iconloader.h"

namespace korvane {

ShellLifecycle::ShellLifecycle(Parts parts)
    : parts_(std::move(parts)) {}

ShellLifecycle::~ShellLifecycle() = default;

// The port answers from a thread of its own: the session and the onboarding wait for its answer
// rather than the main thread waiting for it.
void ShellLifecycle::startIfPermitted(bool showOnboardingIfNeeded) {
    if (hasTrustAnswer_) {
        applyStartDecision(parts_.trust->isTrusted(), showOnboardingIfNeeded);
    } else {
        pendingStartDecision_ = pendingStartDecision_.value_or(false) || showOnboardingIfNeeded;
        watchTrust();
    }
    startProjectDetectionOnce();
}

void ShellLifecycle::watchTrust() {
    std::weak_ptr<ShellLifecycle> weak = weak_from_this();
    if (!isWatchingTrust_) {
        isWatchingTrust_ = true;
        parts_.trust->setOnTrustChanged(weakCallback(weak, &ShellLifecycle::handleTrustChanged));
    }
    if (!trustAnswerDeadline_) {
        trustAnswerDeadline_ = parts_.scheduler.postAfter(
            firstTrustAnswerWait, weakCallback(weak, &ShellLifecycle::decideWithoutTrustAnswer));
    }
}

void ShellLifecycle::applyStartDecision(bool isTrusted, bool showOnboardingIfNeeded) {
    if (isTrusted) {
        if (!isSessionStarted_) {
            isSessionStarted_ = startSession();
        }
        if (showOnboardingIfNeeded && !parts_.defaults->boolForKey(hasCompletedOnboardingKey)) {
            showOnboarding(false);
        }
    } else if (showOnboardingIfNeeded) {
        showOnboarding(false);
    }
}

// No answer in far longer than the port's questions may take: a user without the permission must
// still see how to give it. The answer, when it comes, starts the session all the same.
void ShellLifecycle::decideWithoutTrustAnswer() {
    trustAnswerDeadline_.reset();
    const auto showOnboardingIfNeeded = std::exchange(pendingStartDecision_, std::nullopt);
    if (!showOnboardingIfNeeded) {
        return;
    }
    const bool wasShown = isOnboardingActive_;
    applyStartDecision(false, *showOnboardingIfNeeded);
    onboardingShownWithoutTrustAnswer_ =
        !wasShown && isOnboardingActive_ && parts_.defaults->boolForKey(hasCompletedOnboardingKey);
}

void ShellLifecycle::handleTrustChanged(bool isTrusted) {
    hasTrustAnswer_ = true;
    if (trustAnswerDeadline_) {
        trustAnswerDeadline_->cancel();
        trustAnswerDeadline_.reset();
    }
    parts_.statusBar->updateOnboardingItem(isTrusted);
    // The card turns to granted only through its own poll; a loss is shown when the flow opens for it.
    const bool closeOnboarding = std::exchange(onboardingShownWithoutTrustAnswer_, false) && isTrusted;
    if (const auto showOnboardingIfNeeded = std::exchange(pendingStartDecision_, std::nullopt)) {
        applyStartDecision(isTrusted, *showOnboardingIfNeeded);
    } else if (isTrusted && !isSessionStarted_) {
        isSessionStarted_ = startSession();
    } else if (!isTrusted) {
        handlePermissionRevoked();
    }
    if (closeOnboarding && isSessionStarted_) {
        dismissOnboarding();
    }
}

bool ShellLifecycle::startSession() {
    configureTriggerDetector();
    installTapCallbacks();
    std::weak_ptr<TriggerDetector> detector = parts_.triggerDetector;
    // The handler holds the detector itself, so a key that arrives while the shell goes away still
    // has a detector to ask. Outside a terminal with several tabs an ordinary key costs nothing more; in
    // one, the tabs are read from here, off the main thread, which the key does not wake.
    const bool started = parts_.eventTap->start(
        [detector, onTapKey = parts_.onTapKey, reader = parts_.tabBaseline](
            std::uint16_t keyCode, const std::optional<std::string>& characters, std::uint64_t flags) {
            if (onTapKey) {
                onTapKey();
            }
            auto locked = detector.lock();
            const bool withheld = locked && locked->processKey(keyCode, characters, flags);
            if (locked && locked->state() != TriggerDetector::State::collecting && locked->triggerProgress() == 0) {
                noteInput(*reader);
            }
            return withheld;
        });
    if (started) {
        const std::string& trigger = parts_.configManager.globalConfig().trigger;
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

// The tap reports from its own thread: each report hops to the main thread.
void ShellLifecycle::installTapCallbacks() {
    std::weak_ptr<ShellLifecycle> weak = weak_from_this();
    std::weak_ptr<TriggerDetector> detector = parts_.triggerDetector;
    Scheduler* scheduler = &parts_.scheduler;
    parts_.eventTap->onTapReenabled = [weak, detector, scheduler] {
        if (auto locked = detector.lock()) {
            locked->reset();
        }
        scheduler->post([weak] {
            if (auto self = weak.lock()) {
                self->parts_.flow->dismissAndExecute(CompletionSessionEngine::DismissReason::tapReenable,
                                                     CompletionSessionEngine::ResetMode::reset);
            }
        });
    };
    parts_.eventTap->onMouseDown = [weak, detector, scheduler, reader = parts_.tabBaseline] {
        noteInput(*reader);
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
                self->parts_.flow->dismissAndExecute(CompletionSessionEngine::DismissReason::escaped,
                                                     CompletionSessionEngine::ResetMode::reset);
            }
        });
    };
    parts_.eventTap->onPermissionRevoked = [weak, scheduler] {
        scheduler->post(weakCallback(weak, &ShellLifecycle::handlePermissionRevoked));
    };
    parts_.eventTap->setKeyWithholding(parts_.triggerDetector);
    // Korvane's own Backspaces and paste are read one byte a call, as many as a program at work reads:
    // the next trigger is measured from after them.
    parts_.flow->onInserted = [reader = std::weak_ptr(parts_.tabBaseline)] {
        if (auto locked = reader.lock()) {
            locked->readAfter(insertionBaselineDelay);
        }
    };
}

void ShellLifecycle::noteInput(TabBaselineReader& reader) {
    if (reader.wanted()) {
        reader.readAfter(tabBaselineDelay);
    }
}

// One handler takes every session event: it only hops to the main thread (the composition root's).
void ShellLifecycle::configureTriggerDetector() {
    parts_.triggerDetector->setHandledEvents(allSessionEvents);
}

void ShellLifecycle::editConfig() {
    parts_.urlOpener->open("file://" + parts_.configManager.configLoader().configFilePath().string());
}

void ShellLifecycle::handlePermissionRevoked() {
    // The tap and the trust port may both report the loss.
    if (!isSessionStarted_) {
        return;
    }
    parts_.eventTap->stopForRevokedPermission();
    isSessionStarted_ = false;
    parts_.flow->dismissAndExecute(CompletionSessionEngine::DismissReason::escaped,
                                   CompletionSessionEngine::ResetMode::reset);
    parts_.popupController->hide();
    parts_.triggerDetector->reset();
    parts_.searchCoordinator->resetSession();
    parts_.statusBar->updateOnboardingItem(parts_.trust->isTrusted());
    showOnboarding(true);
}

void ShellLifecycle::handleOnboardingPermissionGranted() {
    const bool trusted = parts_.trust->isTrusted();
    parts_.statusBar->updateOnboardingItem(trusted);
    if (trusted && !isSessionStarted_) {
        isSessionStarted_ = startSession();
    }
    startProjectDetectionOnce();
}

void ShellLifecycle::startMemoryPressureMonitoring() {
    if (!parts_.memoryPressure) {
        return;
    }
    if (isMonitoringMemoryPressure_) {
        parts_.memoryPressure->stop();
    }
    std::weak_ptr<ShellLifecycle> weak = weak_from_this();
    parts_.memoryPressure->start(weakCallback(weak, &ShellLifecycle::handleMemoryPressure));
    isMonitoringMemoryPressure_ = true;
}

// Only caches that are rebuilt on demand go; the registry, history, configuration and the search on
// screen stay.
void ShellLifecycle::handleMemoryPressure(const MemoryPressureEvent& event) {
    const char* level = event.critical ? "critical" : event.warning ? "warning" : "unknown";
    diagnostic(std::string("Memory pressure detected (") + level + "), evicting optional caches");
    parts_.filePaths->clearAllCaches();
    if (parts_.scanPipeline) {
        parts_.scanPipeline->snippetCache.clear();
    }
    parts_.popupController->viewModel().clearLabelCache();
    parts_.previewContentService->clear();
    parts_.popupController->viewModel().detail().clearMetadata();
}

void ShellLifecycle::showConfigurationWindow() {
    if (!configurationWindow_) {
        std::weak_ptr<ShellLifecycle> weak = weak_from_this();
        configurationViewModel_ = std::make_shared<ConfigurationViewModel>(
            parts_.configManager.configLoader(), parts_.scheduler,
            [weak]() -> std::optional<ConfigurationViewModel::AppRecord> {
                auto self = weak.lock();
                const auto* last = self ? &self->parts_.follower->lastNonKorvaneApp() : nullptr;
                if (!last || !*last) {
                    return std::nullopt;
                }
                return ConfigurationViewModel::AppRecord{(*last)->bundleID, (*last)->name};
            },
            [weak] {
                std::vector<ConfigurationViewModel::AppRecord> apps;
                if (auto self = weak.lock()) {
                    for (const auto& app : self->parts_.follower->recentAppHistory()) {
                        apps.push_back({app.bundleID, app.name});
                    }
                }
                return apps;
            });
        configurationWindow_ = std::make_unique<ConfigurationWindow>(
            configurationViewModel_,
            ConfigurationServices{parts_.urlOpener, parts_.capabilities, parts_.applications,
                                  &parts_.scheduler, configurationViewModel_->configFilePath(),
                                  parts_.ownBundleID, iconLoader()});
    }
    configurationWindow_->showAndActivate();
}

void ShellLifecycle::showOnboarding(bool openAtPermissionStep) {
    const bool trusted = parts_.trust->isTrusted();
    if (!onboardingWindow_) {
        onboardingViewModel_ = OnboardingViewModel::create(parts_.trust, parts_.scheduler);
        if (openAtPermissionStep && !trusted &&
            onboardingViewModel_->currentStep() != OnboardingStep::ready) {
            onboardingViewModel_->setCurrentStep(OnboardingStep::ready);
        }
        isOnboardingActive_ = true;
        const auto& last = parts_.follower->lastNonKorvaneApp();
        std::string bundleID = last ? last->bundleID : frontmostBundleID();
        onboardingCapturedContext_ =
            CompletionFlow::CapturedContext{std::move(bundleID), parts_.projectDetector.currentProjectRoot()};
        std::weak_ptr<ShellLifecycle> weak = weak_from_this();
        onboardingViewModel_->onPermissionGranted =
            weakCallback(weak, &ShellLifecycle::handleOnboardingPermissionGranted);
        onboardingViewModel_->onOpenConfiguration =
            weakCallback(weak, &ShellLifecycle::showConfigurationWindow);
        onboardingViewModel_->onDismiss = weakCallback(weak, &ShellLifecycle::dismissOnboarding);
        onboardingViewModel_->onComplete = [weak] {
            if (auto self = weak.lock()) {
                self->finishOnboarding(true);
            }
        };
        onboardingWindow_ = std::make_unique<OnboardingWindow>(
            onboardingViewModel_,
            OnboardingView::Environment{parts_.scheduler, parts_.applicationIcon, iconLoader()});
        onboardingWindow_->onWindowClose = weakCallback(weak, &ShellLifecycle::dismissOnboarding);
        onboardingObserver_ =
            onboardingViewModel_->addObserver(weakCallback(weak, &ShellLifecycle::followOnboardingStep));
    } else {
        // A flow left open while the permission went must not offer to finish as if it held.
        onboardingViewModel_->refreshPermission();
        if (openAtPermissionStep && !trusted &&
            onboardingViewModel_->currentStep() != OnboardingStep::ready) {
            onboardingViewModel_->setCurrentStep(OnboardingStep::ready);
        }
    }
    followOnboardingStep();
    onboardingWindow_->showAndActivate();
}

// The card turns to granted only through its own poll, which "Grant Permission" starts; the shell
// asks on its own while the button is offered, so that a permission given elsewhere starts the
// session at once.
void ShellLifecycle::followOnboardingStep() {
    if (onboardingViewModel_ && onboardingViewModel_->offersPermissionGrant()) {
        if (!onboardingTrustCheck_) {
            scheduleOnboardingTrustCheck();
        }
    } else {
        stopOnboardingTrustCheck();
    }
}

// Asking never waits: the port asks in the background and tells a new answer through
// handleTrustChanged.
void ShellLifecycle::scheduleOnboardingTrustCheck() {
    std::weak_ptr<ShellLifecycle> weak = weak_from_this();
    // A cancelled token keeps the task from running at all.
    onboardingTrustCheck_ = parts_.scheduler.postAfter(onboardingTrustCheckInterval, [weak] {
        if (auto self = weak.lock()) {
            self->parts_.trust->isTrusted();
            self->scheduleOnboardingTrustCheck();
        }
    });
}

void ShellLifecycle::stopOnboardingTrustCheck() {
    if (onboardingTrustCheck_) {
        onboardingTrustCheck_->cancel();
        onboardingTrustCheck_.reset();
    }
}

void ShellLifecycle::dismissOnboarding() {
    if (!isOnboardingActive_) {
        return;
    }
    // Cleared first: closing the window reports the close, which must then find nothing to do.
    isOnboardingActive_ = false;
    onboardingShownWithoutTrustAnswer_ = false;
    onboardingCapturedContext_.reset();
    stopOnboardingTrustCheck();
    auto window = std::move(onboardingWindow_);
    if (window) {
        window->close();
    }
    // A poll still running keeps the view model alive after this; the shell no longer follows it.
    if (onboardingViewModel_ && onboardingObserver_) {
        onboardingViewModel_->removeObserver(*onboardingObserver_);
    }
    onboardingObserver_.reset();
    onboardingViewModel_.reset();
    // The window may be inside its own close handler: it goes once the event loop is back.
    if (window) {
        auto* raw = window.release();
        parts_.scheduler.post([raw] { delete raw; });
    }
    // The permission may have come back while no flow was open to see it (granted from outside,
    // then the flow opened and closed): the session starts now rather than after a restart. Asking
    // also has the port look again; an answer that differs comes through handleTrustChanged.
    if (parts_.trust->isTrusted() && !isSessionStarted_) {
        handleOnboardingPermissionGranted();
    }
}

void ShellLifecycle::finishOnboarding(bool markCompleted) {
    dismissOnboarding();
    if (markCompleted) {
        parts_.defaults->setBool(hasCompletedOnboardingKey, true);
    }
}

void ShellLifecycle::handleGlobalConfigReloaded() {
    // The settings model compares the file with what it last wrote or loaded: its own write
    // changes nothing, anyone else's is taken in under the window's unsaved changes.
    if (configurationViewModel_) {
        configurationViewModel_->reloadDraftFromDisk();
    }
}

std::optional<CompletionFlow::CapturedContext> ShellLifecycle::onboardingContext() const {
    return isOnboardingActive_ ? onboardingCapturedContext_ : std::nullopt;
}

void ShellLifecycle::quit() {
    parts_.tabBaseline->cancel();
    if (isWatchingTrust_) {
        parts_.trust->setOnTrustChanged(nullptr);
    }
    if (trustAnswerDeadline_) {
        trustAnswerDeadline_->cancel();
    }
    stopOnboardingTrustCheck();
    if (parts_.workspaceEvents) {
        parts_.workspaceEvents->stop();
    }
    if (parts_.memoryPressure) {
        parts_.memoryPressure->stop();
    }
    parts_.watcherManager->stopAllWatchers();
    if (configurationViewModel_) {
        // A settings edit still inside its save delay is written before Korvane goes.
        configurationViewModel_->flushPendingSave();
    }
}

void ShellLifecycle::startProjectDetectionOnce() {
    if (!isProjectDetectionStarted_) {
        parts_.follower->startProjectDetection();
        isProjectDetectionStarted_ = true;
    }
}

std::string ShellLifecycle::frontmostBundleID() const {
    const auto front = parts_.activeApp->frontmostApplication();
    return front ? front->bundleID : std::string();
}

std::shared_ptr<const IconLoader> ShellLifecycle::iconLoader() {
    if (!icons_) {
        icons_ = std::make_shared<IconLoader>(parts_.scheduler);
    }
    return icons_;
}

} // namespace korvane
