#include "onboarding/views/onboardingview.h"

#include "onboarding/views/experiencestepview.h"
#include "onboarding/views/onboardingstyle.h"
#include "onboarding/views/readystepview.h"
#include "onboarding/views/symbolview.h"
#include "onboarding/views/welcomestepview.h"
#include "uikit/animations.h"
#include "uikit/choicefocus.h"
#include "uikit/symbolicon.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <vector>

namespace korvane {

using namespace onboardingstyle;

namespace {

constexpr int crossFadeMs = 150;

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFixedHeight(1);
    line->setStyleSheet(QStringLiteral("background: rgba(0,0,0,0.12); border: none;"));
    return line;
}

} // namespace

const char* OnboardingView::stepTitle(OnboardingStep step) {
    switch (step) {
    case OnboardingStep::welcome:
        return "Welcome";
    case OnboardingStep::experience:
        return "Experience it";
    case OnboardingStep::ready:
        return "Ready";
    }
    return "";
}

OnboardingView::OnboardingView(std::shared_ptr<OnboardingViewModel> viewModel, Environment environment,
                               QWidget* parent)
    : QWidget(parent)
    , viewModel_(std::move(viewModel))
    , environment_(std::move(environment)) {
    setObjectName("onboardingView");
    setFixedSize(width, height);
    setAutoFillBackground(true);
    setPalette(onboardingstyle::palette());

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(makeHeader());
    stack->addWidget(divider(this));
    contentArea_ = new QVBoxLayout();
    contentArea_->setContentsMargins(24, 24, 24, 24);
    stack->addLayout(contentArea_, 1);
    stack->addWidget(divider(this));
    stack->addWidget(makeFooter());

    observer_ = viewModel_->addObserver([this] { refresh(); });
    refresh();
}

OnboardingView::~OnboardingView() {
    viewModel_->removeObserver(observer_);
}

// A callback of the view model, called through a copy: the shell's answer may release the model.
void OnboardingView::call(const std::function<void()> OnboardingViewModel::*callback) const {
    std::function<void()> copy = (*viewModel_).*callback;
    if (copy) {
        copy();
    }
}

QWidget* OnboardingView::makeHeader() {
    auto* header = new QWidget(this);
    // The step indicator centred on the whole width, the controls trailing: three columns, the outer
    // two stretching alike, so that no part of the header lies over another and takes its clicks.
    auto* columns = new QGridLayout(header);
    columns->setContentsMargins(24, 16, 24, 12);
    columns->setColumnStretch(0, 1);
    columns->setColumnStretch(2, 1);
    auto* indicator = new QWidget(header);
    auto* steps = new QHBoxLayout(indicator);
    steps->setContentsMargins(0, 0, 0, 0);
    steps->setSpacing(4);
    // One step of three is current: told as radio buttons, the current one checked, one Tab stop
    // moved with the arrows.
    auto* group = new QButtonGroup(indicator);
    for (int raw = 0; raw < 3; ++raw) {
        const auto step = static_cast<OnboardingStep>(raw);
        if (raw > 0) {
            steps->addWidget(new SymbolView("chevron.right", 9, tertiaryText(), indicator));
        }
        auto* pressable = new QPushButton(stepTitle(step), indicator);
        pressable->setObjectName(QStringLiteral("step%1").arg(raw + 1));
        pressable->setAccessibleName(stepTitle(step));
        pressable->setFlat(true);
        pressable->setCursor(Qt::PointingHandCursor);
        pressable->setCheckable(true);
        pressable->setAutoExclusive(true);
        group->addButton(pressable);
        // Toggled, not clicked: a screen reader's action on the pill toggles it without a click.
        connect(pressable, &QPushButton::toggled, this, [this, step](bool checked) {
            if (checked) {
                viewModel_->setCurrentStep(step);
            }
        });
        stepButtons_[static_cast<std::size_t>(raw)] = pressable;
        steps->addWidget(pressable);
    }
    ChoiceFocus::follow(*group);

    auto* trailing = new QWidget(header);
    auto* controls = new QHBoxLayout(trailing);
    controls->setContentsMargins(0, 0, 0, 0);
    controls->setSpacing(8);
    setUpLater_ = button("Set up later", ButtonKind::plain, trailing);
    setUpLater_->setObjectName("setUpLater");
    connect(setUpLater_, &QPushButton::clicked, this,
            [this] { viewModel_->setCurrentStep(OnboardingStep::ready); });
    controls->addWidget(setUpLater_);
    close_ = button(QString(), ButtonKind::plain, trailing);
    close_->setObjectName("close");
    close_->setAccessibleName("Close");
    close_->setIcon(SymbolIcon::icon("xmark", secondaryText(), 10));
    close_->setIconSize(QSize(10, 10));
    connect(close_, &QPushButton::clicked, this, [this] { call(&OnboardingViewModel::onDismiss); });
    controls->addWidget(close_);

    columns->addWidget(indicator, 0, 1, Qt::AlignCenter);
    columns->addWidget(trailing, 0, 2, Qt::AlignRight | Qt::AlignVCenter);
    return header;
}

QWidget* OnboardingView::makeFooter() {
    auto* footer = new QWidget(this);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(24, 12, 24, 12);
    counter_ = label(QString(), systemFont(12), tertiaryText(), footer);
    counter_->setObjectName("stepCounter");
    row->addWidget(counter_);
    row->addStretch(1);
    back_ = button("Back", ButtonKind::bordered, footer);
    back_->setObjectName("back");
    connect(back_, &QPushButton::clicked, this, [this] { viewModel_->goBack(); });
    continue_ = button("Continue", ButtonKind::prominent, footer);
    continue_->setObjectName("continue");
    connect(continue_, &QPushButton::clicked, this, [this] { viewModel_->advance(); });
    getStarted_ = button("Get Started", ButtonKind::prominent, footer);
    getStarted_->setObjectName("getStarted");
    connect(getStarted_, &QPushButton::clicked, this, [this] {
        // Finishing needs the permission; the button is off without it.
        if (viewModel_->isPermissionGranted()) {
            call(&OnboardingViewModel::onComplete);
        }
    });
    closeForNow_ = button("Close for now", ButtonKind::bordered, footer);
    closeForNow_->setObjectName("closeForNow");
    connect(closeForNow_, &QPushButton::clicked, this, [this] { call(&OnboardingViewModel::onDismiss); });
    for (QPushButton* pressable : {back_, continue_, getStarted_, closeForNow_}) {
        row->addWidget(pressable);
    }
    return footer;
}

void OnboardingView::refresh() {
    const OnboardingStep step = viewModel_->currentStep();
    const bool granted = viewModel_->isPermissionGranted();
    // Where the keyboard is in this window, also while another window is active or this one hidden.
    QWidget* const focused = focusWidget();
    for (std::size_t index = 0; index < stepButtons_.size(); ++index) {
        const bool current = static_cast<OnboardingStep>(index) == step;
        QPushButton* pressable = stepButtons_[index];
        pressable->setChecked(current);
        pressable->setFont(systemFont(12, current ? QFont::DemiBold : QFont::Normal));
        // The pill's edge, in its own colour, is where the focus frame shows.
        pressable->setStyleSheet(
            QStringLiteral("QPushButton { color: %1; background: %2; border: 2px solid %2; "
                           "border-radius: 11px; padding: 2px 8px; outline: none; } "
                           "QPushButton:focus { border-color: %3; }")
                .arg(current ? QStringLiteral("white") : QStringLiteral("rgba(0,0,0,0.5)"),
                     current ? QStringLiteral("rgb(0,122,255)") : QStringLiteral("transparent"),
                     (current ? focusFrameOnAccent() : focusFrame()).name()));
    }
    setUpLater_->setVisible(step != OnboardingStep::ready);
    counter_->setText(QStringLiteral("Step %1 of 3").arg(static_cast<int>(step) + 1));
    counter_->setAccessibleName(counter_->text());
    back_->setVisible(step != OnboardingStep::welcome);
    continue_->setVisible(step != OnboardingStep::ready);
    getStarted_->setVisible(step == OnboardingStep::ready && granted);
    getStarted_->setEnabled(granted);
    closeForNow_->setVisible(step == OnboardingStep::ready && !granted);
    if (shownStep_ != step) {
        const bool moved = shownStep_.has_value();
        showStep(step);
        // Whatever moved the step on (a button, the permission lost or given, the tray), the keyboard goes
        // on in the step now shown, not on a control of the step left or wherever Qt put it. Only the
        // step's own button in the header keeps it: the arrow keys move the choice there.
        if (moved && focused != stepButtons_[static_cast<std::size_t>(step)]) {
            focusShownStep();
        }
    } else if (focused != nullptr && isAncestorOf(focused) &&
               !(focused->isVisibleTo(this) && focused->isEnabled())) {
        // The control that had the keyboard went away within the step ("Get Started" when the permission
        // is lost): Qt would hand it to the next in the chain, a pill in the header. It goes on in the
        // step instead, once the step itself has taken the change.
        QMetaObject::invokeMethod(this, &OnboardingView::focusShownStep, Qt::QueuedConnection);
    }
}

void OnboardingView::focusShownStep() {
    for (QWidget* next = content_->nextInFocusChain(); next != content_; next = next->nextInFocusChain()) {
        if (content_->isAncestorOf(next) && (next->focusPolicy() & Qt::TabFocus) && next->isVisibleTo(this) &&
            next->isEnabled()) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    // A step without a control of its own: its way on in the footer.
    for (QPushButton* forward : {continue_, getStarted_, closeForNow_}) {
        if (forward->isVisibleTo(this)) {
            forward->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void OnboardingView::placeInTabOrder() {
    // A step is made after the header and the footer, so its controls came last in the window's chain.
    std::vector<QWidget*> controls;
    for (QWidget* next = content_->nextInFocusChain(); content_->isAncestorOf(next);
         next = next->nextInFocusChain()) {
        if (next->focusPolicy() != Qt::NoFocus) {
            controls.push_back(next);
        }
    }
    QWidget* previous = close_;
    for (QWidget* control : controls) {
        QWidget::setTabOrder(previous, control);
        previous = control;
    }
}

void OnboardingView::showStep(OnboardingStep step) {
    const bool animate = shownStep_.has_value();
    shownStep_ = step;
    if (content_ != nullptr) {
        content_->hide();
        content_->deleteLater();
        content_ = nullptr;
    }
    switch (step) {
    case OnboardingStep::welcome:
        content_ = new WelcomeStepView(viewModel_, environment_.scheduler, this);
        break;
    case OnboardingStep::experience:
        content_ = new ExperienceStepView(viewModel_, environment_.appIcon, environment_.icons.get(), this);
        break;
    case OnboardingStep::ready:
        content_ = new ReadyStepView(viewModel_, this);
        break;
    }
    content_->setAccessibleName(stepTitle(step));
    contentArea_->addWidget(content_);
    placeInTabOrder();
    // At once, not when the event loop comes round: the step is on screen as soon as it is current.
    content_->show();
    // Any change of step fades the new content in; the first step just appears.
    if (animate) {
        Animations::fadeIn(content_, crossFadeMs);
    }
}

} // namespace korvane
