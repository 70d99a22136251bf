#pragma once

#include "settings/configurationviewmodel.h"
#include "settings/views/configurationpage.h"
#include "settings/views/configurationservices.h"

#include <QWidget>
#include <memory>

class QStackedWidget;

namespace korvane {

class ConfigurationFooter;
class ConfigurationSidebar;
class KitToolButton;
class PreferencesTabView;
class SnippetsTabView;

// The settings window's content: the sidebar beside the page it chooses (cross-faded on a change),
// a button that hides and shows the sidebar, and the footer with the configuration file under both.
// The page and the sidebar's visibility last as long as the window. Main thread.
class ConfigurationView final : public QWidget {
    Q_OBJECT

public:
    ConfigurationView(std::shared_ptr<ConfigurationViewModel> viewModel,
                      const ConfigurationServices& services, QWidget* parent = nullptr);

    ConfigurationPage page() const { return page_; }
    void setPage(ConfigurationPage page);
    bool sidebarVisible() const;
    void toggleSidebar();

    SnippetsTabView& snippetsPage() const { return *snippets_; }
    PreferencesTabView& preferencesPage() const { return *preferences_; }
    ConfigurationSidebar& sidebar() const { return *sidebar_; }

private:
    std::shared_ptr<ConfigurationViewModel> viewModel_;
    ConfigurationPage page_ = ConfigurationPage::snippets;
    ConfigurationSidebar* sidebar_ = nullptr;
    KitToolButton* sidebarToggle_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    SnippetsTabView* snippets_ = nullptr;
    PreferencesTabView* preferences_ = nullptr;
    ConfigurationFooter* footer_ = nullptr;
};

} // namespace korvane
