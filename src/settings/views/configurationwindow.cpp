#include "settings/views/configurationwindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace korvane {

ConfigurationWindow::ConfigurationWindow(std::shared_ptr<ConfigurationViewModel> viewModel)
    : ShellWindow(Qt::WindowMaximizeButtonHint)
    , viewModel_(std::move(viewModel)) {
    setWindowTitle(QStringLiteral("Korvane Configuration"));
    resize(width, height);
    setMinimumSize(width, height);
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(QStringLiteral("Korvane's settings are edited in its config.json for now."), this);
    note->setAlignment(Qt::AlignCenter);
    layout->addWidget(note);
}

void ConfigurationWindow::closeEvent(QCloseEvent* event) {
    viewModel_->flushPendingSave();
    ShellWindow::closeEvent(event);
}

} // namespace korvane
