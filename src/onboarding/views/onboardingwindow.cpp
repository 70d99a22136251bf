#include "onboarding/views/onboardingwindow.h"

#include "onboarding/views/onboardingstyle.h"
#include "uikit/symbolicon.h"

#include <QCloseEvent>
#include <QVBoxLayout>

namespace korvane {

OnboardingWindow::OnboardingWindow(std::shared_ptr<OnboardingViewModel> viewModel,
                                   OnboardingView::Environment environment)
    : ShellWindow(Qt::WindowFlags())
    , viewModel_(std::move(viewModel)) {
    setWindowTitle(QStringLiteral("Korvane"));
    setObjectName("onboardingWindow");
    // The window manager draws the title bar: the application's mark goes in as the window's icon.
    setWindowIcon(SymbolIcon::icon("lock.shield", onboardingstyle::accent(), 20));
    setFixedSize(width, height);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new OnboardingView(viewModel_, std::move(environment), this);
    layout->addWidget(view_);
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
