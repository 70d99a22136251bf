#pragma once

#include "platform/qt/shellwindow.h"
#include "settings/configurationviewmodel.h"
#include "settings/views/configurationservices.h"

#include <memory>

namespace korvane {

class ConfigurationView;

// The settings window, "Korvane Configuration": 900 by 650 at least, closable and resizable, not
// minimizable. Closing hides it and writes a pending change at once; its owner keeps it and its view
// model, so the page and the draft survive. Main thread.
class ConfigurationWindow final : public ShellWindow {
    Q_OBJECT

public:
    explicit ConfigurationWindow(std::shared_ptr<ConfigurationViewModel> viewModel,
                                 ConfigurationServices services = {});

    const std::shared_ptr<ConfigurationViewModel>& viewModel() const { return viewModel_; }
    ConfigurationView& view() const { return *view_; }

    static constexpr int width = 900;
    static constexpr int height = 650;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::shared_ptr<ConfigurationViewModel> viewModel_;
    // Declared before the view, which refers to it.
    ConfigurationServices services_;
    ConfigurationView* view_ = nullptr;
};

} // namespace korvane
