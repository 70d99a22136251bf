#include "onboarding/views/permissioncardview.h"

#include "onboarding/views/onboardingstyle.h"
#include "onboarding/views/symbolview.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvane {

using namespace onboardingstyle;

PermissionCardView::PermissionCardView(std::shared_ptr<OnboardingViewModel> viewModel,
                                       const QString& titleText, double iconSize, double titleSize,
                                       double descriptionSize, double grantedTextSize, QWidget* parent)
    : RoundedCard(parent)
    , viewModel_(std::move(viewModel)) {
    setFill(controlBackground(0.5));
    setRadius(10);
    setObjectName("permissionCard");
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(20, 20, 20, 20);
    stack->setSpacing(12);
    stack->addWidget(new SymbolView("lock.shield", iconSize, accent(), this), 0, Qt::AlignHCenter);
    stack->addWidget(label(titleText, systemFont(titleSize, QFont::DemiBold), primaryText(), this), 0,
                     Qt::AlignHCenter);
    stack->addWidget(label(permissionExplanation(), systemFont(descriptionSize), secondaryText(), this, 440),
                     0, Qt::AlignHCenter);

    grantButton_ = button("Grant Permission", ButtonKind::bordered, this, true);
    grantButton_->setObjectName("grantPermission");
    std::weak_ptr<OnboardingViewModel> weak = viewModel_;
    connect(grantButton_, &QPushButton::clicked, this, [weak] {
        if (auto model = weak.lock()) {
            model->requestPermission();
        }
    });

    grantedRow_ = new QWidget(this);
    auto* row = new QHBoxLayout(grantedRow_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(new SymbolView("checkmark.circle.fill", grantedTextSize + 2, green(), grantedRow_));
    row->addWidget(
        label("Permission granted", systemFont(grantedTextSize, QFont::Medium), green(), grantedRow_));

    stack->addSpacing(4);
    stack->addWidget(grantButton_, 0, Qt::AlignHCenter);
    stack->addWidget(grantedRow_, 0, Qt::AlignHCenter);
    observer_ = viewModel_->addObserver([this] { refresh(); });
    refresh();
}

PermissionCardView::~PermissionCardView() {
    viewModel_->removeObserver(observer_);
}

void PermissionCardView::refresh() {
    const bool granted = viewModel_->isPermissionGranted();
    grantButton_->setVisible(!granted);
    grantedRow_->setVisible(granted);
}

} // namespace korvane
