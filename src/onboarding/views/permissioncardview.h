#pragma once

#include "onboarding/onboardingviewmodel.h"
#include "uikit/roundedcard.h"

#include <memory>

class QPushButton;

namespace korvane {

// The card that asks for the accessibility permission: why it is needed, "Grant Permission" (which
// asks for it and starts polling), and the green "Permission granted" row once the grant is seen.
// Follows the view model's permission flag only. Main thread.
class PermissionCardView : public RoundedCard {
public:
    PermissionCardView(std::shared_ptr<OnboardingViewModel> viewModel, const QString& titleText,
                       double iconSize, double titleSize, double descriptionSize, double grantedTextSize,
                       QWidget* parent = nullptr);
    ~PermissionCardView() override;

private:
    void refresh();

    std::shared_ptr<OnboardingViewModel> viewModel_;
    OnboardingViewModel::ObserverID observer_ = 0;
    QPushButton* grantButton_ = nullptr;
    QWidget* grantedRow_ = nullptr;
};

} // namespace korvane
