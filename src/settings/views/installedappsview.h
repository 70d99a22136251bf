#pragma once

#include "settings/installedapp.h"
#include "settings/views/configurationservices.h"

#include <QDialog>
#include <QIcon>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QStackedWidget;

namespace korvane {

class InstalledAppsCache;

// The "Installed Applications" sheet over the capture popover: a search field and the installed and
// running applications, scanned away from the main thread (or taken from the five-minute cache), with
// icons decoded in the background as rows come into view, once per application while the sheet is open.
// Choosing a row reports it; the caller closes the sheet. Escape closes it too. Main thread.
class InstalledAppsView final : public QDialog {
    Q_OBJECT

public:
    using OnSelect = std::function<void(const std::string& bundleId, const std::string& appName)>;

    InstalledAppsView(const ConfigurationServices& services, QWidget* parent, OnSelect onSelect,
                      InstalledAppsCache* cache = nullptr);

    bool isLoading() const { return isLoading_; }
    const std::vector<InstalledApp>& apps() const { return apps_; }
    // The rows shown for the current search, in order.
    std::vector<InstalledApp> shownApps() const;

protected:
    // The rows laid out in view only now ask for their icons.
    void showEvent(QShowEvent* event) override;

private:
    void loadApps();
    void showApps(std::vector<InstalledApp> apps);
    void refreshList();
    void loadVisibleIcons();
    void showIcon(const std::string& bundleId, const QIcon& icon);

    const ConfigurationServices& services_;
    OnSelect onSelect_;
    InstalledAppsCache& cache_;
    bool isLoading_ = true;
    std::vector<InstalledApp> apps_;
    std::vector<InstalledApp> shown_;
    QLineEdit* search_ = nullptr;
    QStackedWidget* body_ = nullptr;
    QListWidget* list_ = nullptr;
    std::set<std::string> requestedIcons_;
    std::map<std::string, QIcon> icons_;
};

} // namespace korvane
