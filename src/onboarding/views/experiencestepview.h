#pragma once

#include "onboarding/onboardingviewmodel.h"
#include "onboarding/views/staticappdemocard.h"

#include <QWidget>
#include <memory>

class QGraphicsOpacityEffect;
class QLabel;
class QLineEdit;

namespace korvane {

// Step 2 of the flow: what Korvane does, three example cards, and a field to try the trigger in,
// locked (dimmed, with a hint) until the permission is granted. The typed text lives in the view
// model. Main thread.
class ExperienceStepView : public QWidget {
public:
    ExperienceStepView(std::shared_ptr<OnboardingViewModel> viewModel,
                       const StaticAppDemoCard::IconLookup& appIcon, const IconLoader* icons = nullptr,
                       QWidget* parent = nullptr);
    ~ExperienceStepView() override;

private:
    QWidget* makeTryIt();
    void refresh();

    std::shared_ptr<OnboardingViewModel> viewModel_;
    OnboardingViewModel::ObserverID observer_ = 0;
    QLineEdit* field_ = nullptr;
    QLabel* hint_ = nullptr;
    QGraphicsOpacityEffect* dimming_ = nullptr;
};

} // namespace korvane
