#pragma once

#include "base/cancellationtoken.h"
#include "base/observerlist.h"
#include "base/scheduler.h"
#include "platform/accessibilitytrust.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

// The shared state of the first-run flow: the step on screen, whether the permission is granted,
// the try-it text, the permission polling and the callbacks to the shell. Every view of the flow
// observes the same instance. Main thread only; held by std::shared_ptr, since a running poll keeps
// it alive until the grant is seen.
class OnboardingViewModel : public std::enable_shared_from_this<OnboardingViewModel> {
public:
    enum class OnboardingStep { welcome = 0, experience = 1, ready = 2 };
    using ObserverID = ObserverList<>::ID;

    static constexpr double pollInterval = 1.0;

    // Reads the permission once; starts no polling. `scheduler` must outlive the view model.
    static std::shared_ptr<OnboardingViewModel> create(std::shared_ptr<AccessibilityTrust> trust,
                                                       Scheduler& scheduler);
    ~OnboardingViewModel();
    OnboardingViewModel(const OnboardingViewModel&) = delete;
    OnboardingViewModel& operator=(const OnboardingViewModel&) = delete;

    // Observation: `observer` runs after every real change of an observed field, until removed.
    ObserverID addObserver(std::function<void()> observer);
    void removeObserver(ObserverID id);

    OnboardingStep currentStep() const { return currentStep_; }
    bool isPermissionGranted() const { return isPermissionGranted_; }
    const std::string& realInputText() const { return realInputText_; }
    bool didFirePermissionGranted() const { return didFirePermissionGranted_; }
    bool isPolling() const { return pollTimer_.has_value(); }
    // Whether the step on screen offers "Grant Permission": the welcome step's card and the ready
    // step's panel, until the grant is seen.
    bool offersPermissionGrant() const;

    // Each setter stores and notifies only when the value differs.
    void setCurrentStep(OnboardingStep step);
    void setPermissionGranted(bool granted);
    void setRealInputText(const std::string& text);

    // Replaces any running poll with a new one that checks every second; checks nothing now.
    void startPermissionPolling();
    // One poll tick: once trusted, stops polling, marks the grant and reports it (once per model).
    void checkPermission();
    // What "Grant Permission" does: asks for the permission, then polls for the answer.
    void requestPermission();
    // Reads the permission afresh, in both directions: a flow reopened after the permission was
    // withdrawn must not offer to finish as if it still held. A withdrawn grant is reported again
    // once it returns.
    void refreshPermission();

    // welcome → experience → ready, and back; nothing past either end.
    void advance();
    void goBack();

    std::function<void()> onPermissionGranted;
    std::function<void()> onOpenConfiguration;
    std::function<void()> onDismiss;
    std::function<void()> onComplete;

private:
    OnboardingViewModel(std::shared_ptr<AccessibilityTrust> trust, Scheduler& scheduler);
    void schedulePoll();
    void stopPolling();
    void notify();

    std::shared_ptr<AccessibilityTrust> trust_;
    Scheduler& scheduler_;
    OnboardingStep currentStep_ = OnboardingStep::welcome;
    bool isPermissionGranted_ = false;
    std::string realInputText_;
    bool didFirePermissionGranted_ = false;
    std::optional<CancellationToken> pollTimer_;
    ObserverList<> observers_;
};

using OnboardingStep = OnboardingViewModel::OnboardingStep;

// The step of a raw value; none for a value outside 0 to 2.
std::optional<OnboardingStep> onboardingStepFromRaw(int raw);

} // namespace korvane
