#pragma once

#include "onboarding/onboardingviewmodel.h"

#include <QWidget>
#include <memory>

namespace korvane {

// Step 1 of the flow: the permission card above the typewriter demonstration. Main thread.
class WelcomeStepView : public QWidget {
public:
    WelcomeStepView(std::shared_ptr<OnboardingViewModel> viewModel, Scheduler& scheduler,
                    QWidget* parent = nullptr);
};

} // namespace korvane
