#include "onboarding/views/readystepview.h"

#include "onboarding/views/featurecard.h"
#include "onboarding/views/onboardingstyle.h"
#include "onboarding/views/symbolview.h"
#include "uikit/symbolicon.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace korvane {

using namespace onboardingstyle;

ReadyStepView::ReadyStepView(std::shared_ptr<OnboardingViewModel> viewModel, QWidget* parent)
    : QWidget(parent)
    , viewModel_(std::move(viewModel)) {
    setObjectName("readyStep");
    looks_ = new QStackedLayout(this);
    allSet_ = makeAllSet();
    almostReady_ = makeAlmostReady();
    looks_->addWidget(allSet_);
    looks_->addWidget(almostReady_);
    observer_ = viewModel_->addObserver([this] { refresh(); });
    refresh();
}

ReadyStepView::~ReadyStepView() {
    viewModel_->removeObserver(observer_);
}

QWidget* ReadyStepView::makeAllSet() {
    auto* page = new QWidget(this);
    page->setObjectName("allSet");
    auto* stack = new QVBoxLayout(page);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(24);
    stack->addStretch(1);

    auto* top = new QVBoxLayout();
    top->setSpacing(12);
    top->addWidget(new SymbolView("checkmark.circle.fill", 56, green(), page), 0, Qt::AlignHCenter);
    top->addWidget(label("You're all set", systemFont(20, QFont::DemiBold), primaryText(), page), 0,
                   Qt::AlignHCenter);
    // Korvane lives in the desktop's system tray, not in a menu bar: the texts say so.
    const QString running = QStringLiteral("Korvane is now running in your system tray. Type ") +
                            QChar(0x2060) + QStringLiteral(";;") + QChar(0x2060) +
                            QStringLiteral(" in any app to trigger completions.");
    top->addWidget(label(running, systemFont(13), secondaryText(), page, 400), 0, Qt::AlignHCenter);
    stack->addLayout(top);

    auto* cards = new QHBoxLayout();
    cards->setSpacing(12);
    cards->addWidget(
        new FeatureCard("bolt.fill", "Instant", "Completions appear as you type. No lag, no delay.", page),
        1);
    cards->addWidget(
        new FeatureCard("arrow.triangle.branch", "Context-Aware",
                        "Auto-discovers skills, branches, scripts, and env vars from your projects.", page),
        1);
    cards->addWidget(
        new FeatureCard("gearshape", "Config-Driven",
                        "Define your own snippets \u2014 per-app or global. JSON config, full control.",
                        page),
        1);
    stack->addLayout(cards);

    auto* open = button("Open Configuration", ButtonKind::bordered, page);
    open->setObjectName("openConfiguration");
    open->setIcon(SymbolIcon::icon("gearshape", secondaryText(), 11));
    open->setIconSize(QSize(11, 11));
    std::weak_ptr<OnboardingViewModel> weak = viewModel_;
    connect(open, &QPushButton::clicked, this, [weak] {
        auto model = weak.lock();
        if (model && model->onOpenConfiguration) {
            auto callback = model->onOpenConfiguration;
            callback();
        }
    });
    stack->addWidget(open, 0, Qt::AlignHCenter);
    stack->addStretch(1);
    return page;
}

QWidget* ReadyStepView::makeAlmostReady() {
    auto* page = new QWidget(this);
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* panel = card(controlBackground(0.5), 12, page);
    panel->setObjectName("almostReady");
    auto* stack = new QVBoxLayout(panel);
    stack->setContentsMargins(28, 28, 28, 28);
    stack->setSpacing(16);
    stack->addWidget(new SymbolView("exclamationmark.triangle.fill", 48, orange(), panel), 0,
                     Qt::AlignHCenter);
    stack->addWidget(label("Almost ready", systemFont(20, QFont::DemiBold), primaryText(), panel), 0,
                     Qt::AlignHCenter);
    stack->addWidget(label(permissionExplanation(), systemFont(13), secondaryText(), panel, 440), 0,
                     Qt::AlignHCenter);
    auto* grant = button("Grant Permission", ButtonKind::bordered, panel, true);
    grant->setObjectName("grantPermission");
    std::weak_ptr<OnboardingViewModel> weak = viewModel_;
    connect(grant, &QPushButton::clicked, this, [weak] {
        if (auto model = weak.lock()) {
            model->requestPermission();
        }
    });
    stack->addSpacing(4);
    stack->addWidget(grant, 0, Qt::AlignHCenter);
    stack->addWidget(label("You can also grant permission later from the system tray.", systemFont(11),
                           tertiaryText(), panel),
                     0, Qt::AlignHCenter);
    outer->addStretch(1);
    outer->addWidget(panel, 0, Qt::AlignHCenter);
    outer->addStretch(1);
    return page;
}

void ReadyStepView::refresh() {
    looks_->setCurrentWidget(viewModel_->isPermissionGranted() ? allSet_ : almostReady_);
}

} // namespace korvane
