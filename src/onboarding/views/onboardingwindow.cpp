#include "onboarding/views/onboardingwindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvane {

OnboardingWindow::OnboardingWindow(std::shared_ptr<OnboardingViewModel> viewModel)
    : ShellWindow(Qt::WindowFlags())
    , viewModel_(std::move(viewModel)) {
    setWindowTitle(QStringLiteral("Korvane"));
    setFixedSize(width, height);
    // Until the guided steps exist, the window says how to start and lets the user finish.
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QStringLiteral("Type ;; in any window to open Korvane's completions."), this);
    note->setAlignment(Qt::AlignCenter);
    note->setWordWrap(true);
    auto* done = new QPushButton(QStringLiteral("Done"), this);
    connect(done, &QPushButton::clicked, this, [this] {
        if (viewModel_->onComplete) {
            const auto complete = viewModel_->onComplete;
            complete();
        }
    });
    layout->addStretch();
    layout->addWidget(note);
    layout->addWidget(done, 0, Qt::AlignCenter);
    layout->addStretch();
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
