#pragma once

#include <QIcon>
#include <QPixmap>
#include <string>

namespace korvane {

// The tray's icons: the desktop theme's icon of a freedesktop name when the theme has it, otherwise a
// small glyph of our own (a text cursor, a lock, a downward arrow), so that minimal themes still show
// something. Main thread.
QIcon trayIcon(const std::string& themeName);
// Our own glyph for a tray icon name, as trayIcon falls back to it.
QPixmap trayGlyph(const std::string& themeName);

// A menu item's icon from the theme; empty when the theme lacks it.
QIcon menuIcon(const std::string& themeName);

} // namespace korvane
