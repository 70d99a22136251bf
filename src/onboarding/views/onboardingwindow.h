#pragma once

#include "onboarding/onboardingviewmodel.h"
#include "onboarding/views/onboardingview.h"
#include "platform/qt/shellwindow.h"

#include <functional>
#include <memory>

namespace korvane {

// The first-run window: titled "Korvane", closable but neither resizable nor minimizable, showing
// the flow view at 700 × 570. Tells its owner each time it closes, whatever closed it. Main thread.
class OnboardingWindow final : public ShellWindow {
public:
    OnboardingWindow(std::shared_ptr<OnboardingViewModel> viewModel, OnboardingView::Environment environment);

    const std::shared_ptr<OnboardingViewModel>& viewModel() const { return viewModel_; }
    OnboardingView& view() const { return *view_; }

    std::function<void()> onWindowClose;

    static constexpr int width = OnboardingView::width;
    static constexpr int height = OnboardingView::height;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::shared_ptr<OnboardingViewModel> viewModel_;
    OnboardingView* view_ = nullptr;
};

} // namespace korvane
