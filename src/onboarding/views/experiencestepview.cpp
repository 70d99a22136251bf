#include "onboarding/views/experiencestepview.h"

#include "onboarding/views/onboardingstyle.h"

#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace korvane {

using namespace onboardingstyle;

ExperienceStepView::ExperienceStepView(std::shared_ptr<OnboardingViewModel> viewModel,
                                       const StaticAppDemoCard::IconLookup& appIcon, const IconLoader* icons,
                                       QWidget* parent)
    : QWidget(parent)
    , viewModel_(std::move(viewModel)) {
    setObjectName("experienceStep");
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(16);

    auto* header = new QVBoxLayout();
    header->setSpacing(6);
    header->addWidget(label("Experience it", systemFont(18, QFont::DemiBold), primaryText(), this));
    auto* summary =
        label("Korvane provides contextual completions based on your working environment and also "
              "lets you configure per-app snippets.",
              systemFont(12), secondaryText(), this);
    summary->setWordWrap(true);
    header->addWidget(summary);
    stack->addLayout(header);

    auto* cards = new QHBoxLayout();
    cards->setSpacing(12);
    cards->addWidget(new StaticAppDemoCard("Terminal", "git switch ;;",
                                           {"feat/user-auth", "fix/login-bug", "main"}, appIcon, icons, this),
                     1, Qt::AlignTop);
    cards->addWidget(
        new StaticAppDemoCard("Slack", ";;", {"lgtm", "ack", "pr-ready", "thanks"}, appIcon, icons, this), 1,
        Qt::AlignTop);
    cards->addWidget(
        new StaticAppDemoCard("Mail", "See you tomorrow!\n;;",
                              {"Best, {{name}}", "Thanks, {{name}}", "Regards, {{name}} {{date}}"}, appIcon,
                              icons, this),
        1, Qt::AlignTop);
    stack->addLayout(cards);
    stack->addSpacing(24);
    stack->addWidget(makeTryIt());
    stack->addStretch(1);

    observer_ = viewModel_->addObserver([this] { refresh(); });
    refresh();
}

ExperienceStepView::~ExperienceStepView() {
    viewModel_->removeObserver(observer_);
}

QWidget* ExperienceStepView::makeTryIt() {
    auto* section = new QWidget(this);
    auto* stack = new QVBoxLayout(section);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(8);
    stack->addWidget(
        label("Now try typing ;; yourself", systemFont(13, QFont::Medium), secondaryText(), section));

    field_ = new QLineEdit(section);
    field_->setObjectName("tryItField");
    field_->setPlaceholderText(";; here");
    field_->setAccessibleName(";; here");
    field_->setFont(monospacedFont(13));
    field_->setStyleSheet(
        QStringLiteral("QLineEdit { background: white; border: 2px solid rgba(0,122,255,0.3); "
                       "border-radius: 6px; padding: 6px 8px; color: rgb(29,29,31); } "
                       "QLineEdit:focus { border-color: %1; }")
            .arg(focusFrame().name()));
    dimming_ = new QGraphicsOpacityEffect(field_);
    field_->setGraphicsEffect(dimming_);
    std::weak_ptr<OnboardingViewModel> weak = viewModel_;
    connect(field_, &QLineEdit::textEdited, this, [weak](const QString& text) {
        if (auto model = weak.lock()) {
            model->setRealInputText(text.toStdString());
        }
    });

    hint_ = label("Grant accessibility permission in Step 1 to try this", systemFont(11), tertiaryText(),
                  section);
    hint_->setObjectName("tryItHint");
    hint_->setAlignment(Qt::AlignCenter);
    hint_->setContentsMargins(8, 0, 8, 0);
    hint_->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto* layered = new QGridLayout();
    layered->setContentsMargins(0, 0, 0, 0);
    layered->addWidget(field_, 0, 0);
    layered->addWidget(hint_, 0, 0, Qt::AlignCenter);
    stack->addLayout(layered);
    return section;
}

void ExperienceStepView::refresh() {
    const bool granted = viewModel_->isPermissionGranted();
    field_->setEnabled(granted);
    dimming_->setOpacity(granted ? 1.0 : 0.5);
    hint_->setVisible(!granted);
    const QString text = QString::fromStdString(viewModel_->realInputText());
    if (field_->text() != text) {
        field_->setText(text);
    }
}

} // namespace korvane
