#include "onboarding/views/welcomestepview.h"

#include "onboarding/views/permissioncardview.h"
#include "onboarding/views/typewriteranimationview.h"

#include <QVBoxLayout>

namespace korvane {

WelcomeStepView::WelcomeStepView(std::shared_ptr<OnboardingViewModel> viewModel, Scheduler& scheduler,
                                 QWidget* parent)
    : QWidget(parent) {
    setObjectName("welcomeStep");
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(16);
    auto* card =
        new PermissionCardView(std::move(viewModel), "Accessibility Permission", 32, 17, 13, 14, this);
    card->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    stack->addWidget(card);
    stack->addWidget(new TypewriterAnimationView(scheduler, this), 1);
}

} // namespace korvane
