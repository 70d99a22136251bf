#pragma once

#include <functional>

namespace korvane {

// The state of the first-run flow that the shell reads and the flow's callbacks to the shell.
// Main thread.
class OnboardingViewModel {
public:
    enum class OnboardingStep { welcome = 0, experience = 1, ready = 2 };

    OnboardingStep currentStep = OnboardingStep::welcome;

    std::function<void()> onPermissionGranted;
    std::function<void()> onOpenConfiguration;
    std::function<void()> onDismiss;
    std::function<void()> onComplete;
};

using OnboardingStep = OnboardingViewModel::OnboardingStep;

} // namespace korvane
