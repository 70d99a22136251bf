#pragma once

#include "settings/configurationviewmodel.h"
#include "settings/views/configurationservices.h"
#include "settings/views/installedappsview.h"
#include "uikit/roundedcard.h"

#include <QPointer>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace korvane {

// The "Add App" popover under the scope tabs' "plus": capture the application used before the
// settings window, pick a recent one, browse the installed ones, or type an identifier and a name.
// Every route ends in the view model's addApp; the popover closes only when that succeeded and shows
// the view model's message otherwise. Lies over the window's content; Escape or a click outside
// closes it. Main thread.
class AppCaptureView final : public RoundedCard {
    Q_OBJECT

public:
    static constexpr int width = 400;

    AppCaptureView(std::shared_ptr<ConfigurationViewModel> viewModel, const ConfigurationServices& services,
                   QWidget* host);
    ~AppCaptureView() override;

    // Places the popover below `anchor`, inside the host window, and shows it.
    void showUnder(QWidget* anchor);
    // The installed-applications sheet while it is open.
    InstalledAppsView* installedApps() const { return static_cast<InstalledAppsView*>(installed_.data()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void addRecentSection(QVBoxLayout* layout);
    void refreshError();
    void captureCurrentApp();
    void addAndDismiss(const std::string& bundleId, const std::string& name);
    void browseInstalledApps();
    void dismiss();

    std::shared_ptr<ConfigurationViewModel> viewModel_;
    const ConfigurationServices& services_;
    ConfigurationViewModel::ObserverID observer_ = 0;
    QWidget* errorRow_ = nullptr;
    QLabel* errorText_ = nullptr;
    QLineEdit* manualBundleId_ = nullptr;
    QLineEdit* manualAppName_ = nullptr;
    QPushButton* add_ = nullptr;
    // A plain dialog pointer: the filter below may see events while the sheet is being destroyed.
    QPointer<QWidget> installed_;
    QPointer<QWidget> anchor_;
};

} // namespace korvane
