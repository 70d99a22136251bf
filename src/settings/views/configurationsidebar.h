#pragma once

#include "settings/views/configurationpage.h"

#include <QListWidget>
#include <functional>

namespace korvane {

// The settings window's sidebar, 160 pixels wide: "Snippets" and "Preferences" with their symbols.
// Selecting a row, by pointer, keys or assistive technology, reports its page once; the sidebar
// always shows one page selected, and that row is the current one only while the sidebar has the
// keyboard. Main thread.
class ConfigurationSidebar final : public QListWidget {
    Q_OBJECT

public:
    static constexpr int sidebarWidth = 160;

    explicit ConfigurationSidebar(QWidget* parent = nullptr);

    void setPage(ConfigurationPage page);
    ConfigurationPage page() const;

    std::function<void(ConfigurationPage)> onPageChosen;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void followFocus();
    static int rowOf(ConfigurationPage page);
    void followSelection();

    ConfigurationPage page_ = ConfigurationPage::snippets;
};

} // namespace korvane
