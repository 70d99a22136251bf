#pragma once

#include "settings/configurationviewmodel.h"
#include "platform/qt/shellwindow.h"

#include <memory>

namespace korvane {

// The settings window, "Korvane Configuration": 900 by 650 at least, closable and resizable, not
// minimizable. Closing hides it; its owner keeps it and its view model. Main thread.
class ConfigurationWindow final : public ShellWindow {
public:
    explicit ConfigurationWindow(std::shared_ptr<ConfigurationViewModel> viewModel);

    const std::shared_ptr<ConfigurationViewModel>& viewModel() const { return viewModel_; }

    static constexpr int width = 900;
    static constexpr int height = 650;

protected:
    // An edit made just before closing is written now rather than left waiting in the debounce.
    void closeEvent(QCloseEvent* event) override;

private:
    std::shared_ptr<ConfigurationViewModel> viewModel_;
};

} // namespace korvane
