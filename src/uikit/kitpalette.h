#pragma once

#include <QPalette>

class QWidget;

namespace korvane {

// The desktop's palette made fit for the settings windows: every colour group's placeholder colour
// reads on that group's field colour. Desktops do not all set it (Qt keeps its light default, black at
// half opacity, under a dark colour scheme), so a placeholder could come out darker than its dark
// field. Main thread.
class KitPalette {
public:
    // `desktop` with legible placeholders: its own where they read at 3:1 on the field, else its text
    // colour at half opacity, made stronger as far as needed.
    static QPalette withLegiblePlaceholders(const QPalette& desktop);

    // Gives `window` and its children legible placeholders, now and whenever the desktop's palette
    // changes; every other colour keeps following the desktop. The window sets no palette of its own.
    static void keepLegible(QWidget& window);
};

} // namespace korvane
