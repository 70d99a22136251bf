#pragma once

#include "onboarding/onboardingviewmodel.h"

#include <QWidget>
#include <memory>

class QStackedLayout;

namespace korvane {

// Step 3 of the flow: "You're all set" with the three strengths and "Open Configuration" once the
// permission is granted; until then the "Almost ready" panel that asks for it again. Main thread.
class ReadyStepView : public QWidget {
public:
    explicit ReadyStepView(std::shared_ptr<OnboardingViewModel> viewModel, QWidget* parent = nullptr);
    ~ReadyStepView() override;

private:
    QWidget* makeAllSet();
    QWidget* makeAlmostReady();
    void refresh();

    std::shared_ptr<OnboardingViewModel> viewModel_;
    OnboardingViewModel::ObserverID observer_ = 0;
    QStackedLayout* looks_ = nullptr;
    QWidget* allSet_ = nullptr;
    QWidget* almostReady_ = nullptr;
};

} // namespace korvane
