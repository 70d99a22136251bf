#pragma once

#include "uikit/iconloader.h"
#include "uikit/roundedcard.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// A still card showing the completion popup inside one application: its icon and name, what the
// user typed there, and up to four sample completions with the application's source badge. The
// icon is decoded in the background; the application's symbol stands in until it comes, and stays
// when there is none. Main thread.
class StaticAppDemoCard : public RoundedCard {
public:
    // The icon named by an installed application's desktop file (a theme icon name or an absolute
    // path), by desktop-file ID; none when no such application is installed.
    using IconLookup = std::function<std::optional<std::string>(const std::string& desktopID)>;

    struct AppLook {
        // The applications that stand for the name on this desktop, by desktop-file ID, in order of
        // preference.
        std::vector<std::string> desktopIDs;
        QString fallbackSymbol;
        QString badge;
        QColor badgeColor;
    };

    StaticAppDemoCard(std::string appName, std::string visualInput, std::vector<std::string> snippetLabels,
                      const IconLookup& appIcon, const IconLoader* icons = nullptr,
                      QWidget* parent = nullptr);

    // The symbol, badge and badge colour that go with `appName` (compared whole and case-sensitively).
    static AppLook look(const std::string& appName);
    // The icon named by the first installed application that stands for `appName`; none when no
    // such application names one.
    static std::optional<std::string> iconName(const std::string& appName, const IconLookup& lookup);

    static constexpr std::size_t maxRows = 4;

private:
    QWidget* makeHeader(const IconLookup& appIcon, const IconLoader* icons);
    QWidget* makeInput();
    QWidget* makePopup();

    std::string appName_;
    std::string visualInput_;
    std::vector<std::string> snippetLabels_;
};

} // namespace korvane
