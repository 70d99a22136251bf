#include "onboarding/onboardingviewmodel.h"

#include <vector>

namespace korvane {

std::optional<OnboardingStep> onboardingStepFromRaw(int raw) {
    if (raw < 0 || raw > static_cast<int>(OnboardingStep::ready)) {
        return std::nullopt;
    }
    return static_cast<OnboardingStep>(raw);
}

std::shared_ptr<OnboardingViewModel> OnboardingViewModel::create(std::shared_ptr<AccessibilityTrust> trust,
                                                                 Scheduler& scheduler) {
    return std::shared_ptr<OnboardingViewModel>(new OnboardingViewModel(std::move(trust), scheduler));
}

OnboardingViewModel::OnboardingViewModel(std::shared_ptr<AccessibilityTrust> trust, Scheduler& scheduler)
    : trust_(std::move(trust))
    , scheduler_(scheduler)
    , isPermissionGranted_(trust_->isTrusted()) {}

OnboardingViewModel::~OnboardingViewModel() = default;

OnboardingViewModel::ObserverID OnboardingViewModel::addObserver(std::function<void()> observer) {
    return observers_.add(std::move(observer));
}

void OnboardingViewModel::removeObserver(ObserverID id) {
    observers_.remove(id);
}

void OnboardingViewModel::notify() {
    observers_.notify();
}

void OnboardingViewModel::setCurrentStep(OnboardingStep step) {
    if (step == currentStep_) {
        return;
    }
    currentStep_ = step;
    notify();
}

void OnboardingViewModel::setPermissionGranted(bool granted) {
    if (granted == isPermissionGranted_) {
        return;
    }
    isPermissionGranted_ = granted;
    notify();
}

void OnboardingViewModel::setRealInputText(const std::string& text) {
    if (text == realInputText_) {
        return;
    }
    realInputText_ = text;
    notify();
}

void OnboardingViewModel::startPermissionPolling() {
    stopPolling();
    schedulePoll();
}

// Each tick holds the view model, so that a flow whose window has gone still reports the grant.
// The chain ends with the tick that sees it.
void OnboardingViewModel::schedulePoll() {
    auto self = shared_from_this();
    auto token = std::make_shared<CancellationToken>();
    *token = scheduler_.postAfter(pollInterval, [self, token] {
        if (token->isCancelled() || !self->pollTimer_ || !(*self->pollTimer_ == *token)) {
            return;
        }
        self->checkPermission();
        if (self->pollTimer_ && *self->pollTimer_ == *token) {
            self->schedulePoll();
        }
    });
    pollTimer_ = *token;
}

void OnboardingViewModel::stopPolling() {
    if (pollTimer_) {
        pollTimer_->cancel();
        pollTimer_.reset();
    }
}

void OnboardingViewModel::checkPermission() {
    if (!trust_->isTrusted()) {
        return;
    }
    stopPolling();
    setPermissionGranted(true);
    if (!didFirePermissionGranted_) {
        didFirePermissionGranted_ = true;
        if (onPermissionGranted) {
            auto callback = onPermissionGranted;
            callback();
        }
    }
}

void OnboardingViewModel::requestPermission() {
    trust_->requestTrust();
    startPermissionPolling();
}

void OnboardingViewModel::refreshPermission() {
    const bool trusted = trust_->isTrusted();
    if (!trusted) {
        didFirePermissionGranted_ = false;
    }
    setPermissionGranted(trusted);
}

bool OnboardingViewModel::offersPermissionGrant() const {
    return !isPermissionGranted_ &&
           (currentStep_ == OnboardingStep::welcome || currentStep_ == OnboardingStep::ready);
}

void OnboardingViewModel::advance() {
    if (currentStep_ == OnboardingStep::welcome) {
        setCurrentStep(OnboardingStep::experience);
    } else if (currentStep_ == OnboardingStep::experience) {
        setCurrentStep(OnboardingStep::ready);
    }
}

void OnboardingViewModel::goBack() {
    if (currentStep_ == OnboardingStep::ready) {
        setCurrentStep(OnboardingStep::experience);
    } else if (currentStep_ == OnboardingStep::experience) {
        setCurrentStep(OnboardingStep::welcome);
    }
}

} // namespace korvane
