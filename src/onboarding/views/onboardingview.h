#pragma once

#include "onboarding/onboardingviewmodel.h"
#include "onboarding/views/staticappdemocard.h"

#include <QWidget>
#include <array>
#include <memory>
#include <optional>

class QGraphicsOpacityEffect;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace korvane {

// The whole content of the onboarding window, 700 × 570: the header with the step buttons, "Set up
// later" and the close button; the current step, cross-faded on every change; the footer with the
// step counter and the navigation. The only place that moves between steps and ends the flow
// (through the view model's callbacks). Main thread.
class OnboardingView : public QWidget {
public:
    struct Environment {
        Scheduler& scheduler;
        StaticAppDemoCard::IconLookup appIcon;
        // Decodes the demo cards' icons off the main thread; without it the cards show their symbols.
        std::shared_ptr<const IconLoader> icons;
    };

    OnboardingView(std::shared_ptr<OnboardingViewModel> viewModel, Environment environment,
                   QWidget* parent = nullptr);
    ~OnboardingView() override;

    static constexpr int width = 700;
    static constexpr int height = 570;
    static const char* stepTitle(OnboardingStep step);

    QWidget* stepContent() const { return content_; }

private:
    QWidget* makeHeader();
    QWidget* makeFooter();
    void refresh();
    void showStep(OnboardingStep step);
    // Puts the step's controls between the header's and the footer's in the Tab order, as they show.
    void placeInTabOrder();
    // Gives the keyboard to the first control of the step shown, or to its forward button.
    void focusShownStep();
    void call(const std::function<void()> OnboardingViewModel::*callback) const;

    std::shared_ptr<OnboardingViewModel> viewModel_;
    Environment environment_;
    OnboardingViewModel::ObserverID observer_ = 0;
    std::array<QPushButton*, 3> stepButtons_{};
    QPushButton* setUpLater_ = nullptr;
    QPushButton* close_ = nullptr;
    QVBoxLayout* contentArea_ = nullptr;
    QWidget* content_ = nullptr;
    std::optional<OnboardingStep> shownStep_;
    QLabel* counter_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* continue_ = nullptr;
    QPushButton* getStarted_ = nullptr;
    QPushButton* closeForNow_ = nullptr;
};

} // namespace korvane
