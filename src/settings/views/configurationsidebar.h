#pragma once

#include "settings/views/configurationpage.h"

#include <QListWidget>
#include <functional>

namespace korvane {

// The settings window's sidebar, 160 pixels wide: "Snippets" and "Preferences" with their symbols.
// Choosing a row reports its page. Main thread.
class ConfigurationSidebar final : public QListWidget {
    Q_OBJECT

public:
    static constexpr int sidebarWidth = 160;

    explicit ConfigurationSidebar(QWidget* parent = nullptr);

    void setPage(ConfigurationPage page);
    ConfigurationPage page() const;

    std::function<void(ConfigurationPage)> onPageChosen;
};

} // namespace korvane
