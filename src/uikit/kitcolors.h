#pragma once

#include <QColor>

class QWidget;

namespace korvane {

// The few semantic colours of the settings and onboarding windows, taken from a widget's palette so
// that they follow a light or dark desktop. Main thread.
class KitColors {
public:
    static QColor accent(const QWidget& widget);
    static QColor primaryText(const QWidget& widget);
    static QColor secondaryText(const QWidget& widget);
    static QColor tertiaryText(const QWidget& widget);
    // A faint fill for chips and capsules (the text colour at low opacity).
    static QColor quaternaryFill(const QWidget& widget);
    static QColor controlBackground(const QWidget& widget);
    static QColor textBackground(const QWidget& widget);
    static QColor destructive();
    static QColor withAlpha(QColor color, double alpha);
    // Whether the widget's window colour is dark.
    static bool isDark(const QWidget& widget);
};

} // namespace korvane
