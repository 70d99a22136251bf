#include "shell/onboardingwindow.h"

#include <QCloseEvent>

namespace korvane {

OnboardingWindow::OnboardingWindow(std::shared_ptr<OnboardingViewModel> viewModel)
    : ShellWindow(Qt::WindowFlags())
    , viewModel_(std::move(viewModel)) {
    setWindowTitle(QStringLiteral("Korvane"));
    setFixedSize(width, height);
}

void OnboardingWindow::closeEvent(QCloseEvent* event) {
    // Closing a window that is already hidden is no closing the owner needs to hear of.
    const bool wasOpen = isVisible();
    event->accept();
    if (wasOpen && onWindowClose) {
        // The callback may drop the last reference to this window's owner; keep a copy.
        const auto callback = onWindowClose;
        callback();
    }
}

} // namespace korvane
