#pragma once

#include "settings/configurationviewmodel.h"
#include "settings/views/appcaptureview.h"
#include "settings/views/configurationservices.h"

#include <QIcon>
#include <QPointer>
#include <QScrollArea>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QHBoxLayout;

namespace korvane {

class CapsuleButton;

// The scope tabs of the snippets page: "Global", one tab per configured application (icon and name,
// with the context menu "Remove App" that asks first), and "plus", which opens the application
// capture popover under it. The selection lives in the view model. Icons are decoded in the
// background once per application and kept. Main thread.
class SnippetScopeTabBar final : public QScrollArea {
    Q_OBJECT

public:
    SnippetScopeTabBar(std::shared_ptr<ConfigurationViewModel> viewModel,
                       const ConfigurationServices& services,
                       std::function<void(const std::string&)> onRemoveApp, QWidget* parent = nullptr);
    ~SnippetScopeTabBar() override;

    // Rebuilds the tabs from the view model's applications and selection, right after the bar in the
    // Tab order and with the keyboard focus kept on the tab that had it.
    void refresh();
    // Opens or closes the capture popover as the view model's flag says.
    void syncCapture();

    const std::map<std::string, QIcon>& iconCache() const { return iconCache_; }
    std::optional<std::string> pendingRemoveBundleId() const { return pendingRemoveBundleId_; }
    AppCaptureView* capture() const { return static_cast<AppCaptureView*>(capture_.data()); }

private:
    void loadIcons(const std::vector<AppSnippetConfig>& apps);
    void showIcon(const std::string& bundleId, const QIcon& icon);
    CapsuleButton* makeAppTab(const AppSnippetConfig& app, bool selected);
    void askToRemove(const std::string& bundleId);

    std::shared_ptr<ConfigurationViewModel> viewModel_;
    const ConfigurationServices& services_;
    std::function<void(const std::string&)> onRemoveApp_;
    QWidget* strip_ = nullptr;
    QHBoxLayout* row_ = nullptr;
    CapsuleButton* plus_ = nullptr;
    QPointer<QWidget> capture_;
    std::map<std::string, QIcon> iconCache_;
    std::vector<std::string> shownIds_;
    std::optional<std::string> pendingRemoveBundleId_;
};

} // namespace korvane
