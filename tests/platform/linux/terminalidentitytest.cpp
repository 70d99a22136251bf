#include "input/applicationsets.h"
#include "platform/linux/applicationidentity.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

// The terminals Debian ships, each with the desktop file its package installs and the hints its
// window carries as read with xprop under openbox: the identity Korvane gives the window must be one
// it knows as a terminal.
TEST(TerminalIdentityTest, TheWindowsOfDebiansTerminalsAreKnownAsTerminals) {
    struct Installed {
        const char* id;
        const char* startupWMClass;
    };
    const Installed desktopFiles[] = {
        {"Alacritty", "Alacritty"},
        {"com.gexperts.Tilix", ""},
        {"cool-retro-term", ""},
        {"debian-uxterm", "UXTerm"},
        {"debian-xterm", "XTerm"},
        {"foot", ""},
        {"guake", ""},
        {"kitty", ""},
        {"lxterminal", ""},
        {"mate-terminal", ""},
        {"mlterm", ""},
        {"org.gnome.Console", ""},
        {"org.gnome.Terminal", "Gnome-terminal"},
        {"org.kde.konsole", "konsole"},
        {"pterm", ""},
        {"qterminal", ""},
        {"qterminal-drop", ""},
        {"rxvt-unicode", "URxvt"},
        {"sakura", ""},
        {"st", ""},
        {"terminator", ""},
        {"terminology", "terminology"},
        {"termit", ""},
        {"tilda", ""},
        {"xfce4-terminal", ""},
    };
    test::TempDir dir;
    for (const Installed& file : desktopFiles) {
        const std::string wmClass =
            *file.startupWMClass ? std::string("StartupWMClass=") + file.startupWMClass + "\n" : "";
        dir.write(std::string("applications/") + file.id + ".desktop",
                  std::string("[Desktop Entry]\nType=Application\nName=") + file.id + "\nExec=x\n" + wmClass);
    }
    DesktopFileIndex index({dir.path()});
    const auto installed = index.snapshot();

    struct Row {
        const char* program;
        WindowIdentityHints hints;
        const char* id;
    };
    const Row rows[] = {
        {"xterm", {"", "", "xterm", "XTerm"}, "debian-xterm"},
        {"uxterm", {"", "", "xterm", "UXTerm"}, "debian-uxterm"},
        {"xfce4-terminal", {"", "", "xfce4-terminal", "Xfce4-terminal"}, "xfce4-terminal"},
        {"lxterminal", {"", "", "lxterminal", "Lxterminal"}, "lxterminal"},
        {"gnome-terminal",
         {"org.gnome.Terminal", "", "gnome-terminal-server", "Gnome-terminal"},
         "org.gnome.Terminal"},
        {"konsole", {"", "", "konsole", "konsole"}, "org.kde.konsole"},
        {"mate-terminal", {"", "", "mate-terminal", "Mate-terminal"}, "mate-terminal"},
        {"qterminal", {"", "", "qterminal", "qterminal"}, "qterminal"},
        {"sakura", {"", "", "sakura", "Sakura"}, "sakura"},
        {"terminology", {"", "", "main", "terminology"}, "terminology"},
        {"st (stterm)", {"", "", "st-256color", "st-256color"}, "st-256color"},
        {"tilda", {"", "", "tilda", "Tilda"}, "tilda"},
        {"guake", {"", "", "guake", "Guake"}, "guake"},
        {"cool-retro-term", {"", "", "cool-retro-term", "cool-retro-term"}, "cool-retro-term"},
        {"tilix", {"com.gexperts.Tilix", "", "tilix", "Tilix"}, "com.gexperts.Tilix"},
        {"terminator", {"", "", "terminator", "Terminator"}, "terminator"},
        {"kgx", {"org.gnome.Console", "", "kgx", "kgx"}, "org.gnome.Console"},
        {"kitty", {"", "", "kitty", "kitty"}, "kitty"},
        {"alacritty", {"", "", "Alacritty", "Alacritty"}, "Alacritty"},
        {"urxvt, urxvtc", {"", "", "urxvt", "URxvt"}, "rxvt-unicode"},
        {"mlterm", {"", "", "xterm", "mlterm"}, "mlterm"},
        {"termit", {"", "", "termit", "Termit"}, "termit"},
        {"pterm", {"", "", "pterm", "Pterm"}, "pterm"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(applicationIdentity(row.hints, *installed), row.id) << row.program;
        EXPECT_TRUE(terminalBundleIDs().contains(row.id)) << row.program << " as " << row.id;
    }
}

} // namespace
} // namespace korvane
