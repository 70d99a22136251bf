#pragma once

#include "onboarding/onboardingviewmodel.h"
#include "platform/qt/shellwindow.h"

#include <functional>
#include <memory>

namespace korvane {

// The first-run window, 700 by 540, titled "Korvane", closable but neither resizable nor
// minimizable. Tells its owner each time it closes, whatever closed it. Main thread.
class OnboardingWindow final : public ShellWindow {
public:
    explicit OnboardingWindow(std::shared_ptr<OnboardingViewModel> viewModel);

    const std::shared_ptr<OnboardingViewModel>& viewModel() const { return viewModel_; }

    std::function<void()> onWindowClose;

    static constexpr int width = 700;
    static constexpr int height = 540;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::shared_ptr<OnboardingViewModel> viewModel_;
};

} // namespace korvane
