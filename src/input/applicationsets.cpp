#include "input/applicationsets.h"

namespace korvane {

const std::unordered_set<std::string>& terminalBundleIDs() {
    static const std::unordered_set<std::string> ids{
        "com.brannoch.ghostty",
        "com.googlecode.iterm2",
        "com.apple.Terminal",
        "com.github.yoss.wezterm",
        "org.alacritty",
        "net.tellasmire.kitty",
        "co.zeit.hyper",
        "dev.warp.Warp-Stable",
        "com.zavrelt.VimR",
        "com.panic.Prompt3",
        "io.tabby",
        // Linux desktop-file IDs, and the window classes that stand in for them where a terminal
        // ships no desktop file (or Debian renames it).
        "xterm",
        "debian-xterm",
        "XTerm",
        "uxterm",
        "debian-uxterm",
        "UXTerm",
        "org.gnome.Terminal",
        "org.kde.konsole",
        "kitty",
        "Alacritty",
        "org.wezfurlong.wezterm",
        "foot",
        "xfce4-terminal",
        "com.gexperts.Tilix",
        "terminator",
        "rxvt-unicode",
        "URxvt",
        "lxterminal",
        "mate-terminal",
        "qterminal",
        "org.gnome.Console",
        "sakura",
        "terminology",
        // st names its window after its terminal type and ships a desktop file of another name.
        "st-256color",
        "tilda",
        "guake",
        "cool-retro-term",
        // mlterm's window is of instance "xterm": its class finds its desktop file.
        "mlterm",
        "termit",
        "pterm",
        "zutty",
        "deepin-terminal",
        "org.kde.yakuake",
        // Eterm ships no desktop file.
        "Eterm",
    };
    return ids;
}

const std::unordered_set<std::string>& electronBundleIDs() {
    static const std::unordered_set<std::string> ids{
        "com.microsoft.VSCode",
        "com.microsoft.VSCodeInsiders",
        "com.todesktop.230313mzl4w4u92",
        "com.discordapp.Discord",
        "com.tinyspeck.slackmacgap",
        "md.obsidian",
        "com.spotify.client",
        "com.hnc.Discord",
        "com.github.GitHubClient",
        "com.figma.Desktop",
        "com.notion.id",
        // Linux desktop-file IDs of the same programs, as packaged and as Flatpaks.
        "code",
        "code-insiders",
        "com.visualstudio.code",
        "discord",
        "slack",
        "com.slack.Slack",
        "obsidian",
        "md.obsidian.Obsidian",
        "spotify",
        "com.spotify.Client",
        "github-desktop",
        "io.github.shiftey.Desktop",
        "signal-desktop",
        "org.signal.Signal",
        "element-desktop",
        "im.riot.Riot",
    };
    return ids;
}

} // namespace korvane
