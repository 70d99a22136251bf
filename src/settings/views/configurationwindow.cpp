#include "settings/views/configurationwindow.h"

#include "settings/views/configurationview.h"
#include "uikit/kitpalette.h"

#include <QCloseEvent>
#include <QVBoxLayout>

namespace korvane {

ConfigurationWindow::ConfigurationWindow(std::shared_ptr<ConfigurationViewModel> viewModel,
                                         ConfigurationServices services)
    : ShellWindow(Qt::WindowMaximizeButtonHint)
    , viewModel_(std::move(viewModel))
    , services_(std::move(services)) {
    setObjectName(QStringLiteral("configurationWindow"));
    setWindowTitle(QStringLiteral("Korvane Configuration"));
    resize(width, height);
    setMinimumSize(width, height);
    KitPalette::keepLegible(*this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new ConfigurationView(viewModel_, services_, this);
    layout->addWidget(view_);
}

void ConfigurationWindow::closeEvent(QCloseEvent* event) {
    // An edit made just before closing is written now rather than 300 ms later.
    viewModel_->flushPendingSave();
    ShellWindow::closeEvent(event);
}

} // namespace korvane
