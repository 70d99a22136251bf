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
    // The dimmed texts (captions, hints, previews, paths): the text colour at lower opacity, made
    // stronger where the window colour needs it for them to read at 3:1.
    static QColor secondaryText(const QWidget& widget);
    static QColor tertiaryText(const QWidget& widget);
    // A faint fill for chips and capsules (the text colour at low opacity).
    static QColor quaternaryFill(const QWidget& widget);
    static QColor controlBackground(const QWidget& widget);
    static QColor textBackground(const QWidget& widget);
    static QColor destructive();
    static QColor withAlpha(QColor color, double alpha);
    // `text` as drawn on the opaque `background`, unchanged when it reads there at minimumTextContrast,
    // else the least stronger opaque colour that does: first toward the text's own full colour, then
    // on toward black or white.
    static QColor legible(const QColor& text, const QColor& background);
    // `fill` as drawn on the opaque `behind`, unchanged when `text` reads on it at minimumTextContrast,
    // else taken as an opaque colour the least way toward black or white (away from the text) for
    // which it does: the chip stays its hue and the text its colour.
    static QColor legibleFill(const QColor& fill, const QColor& behind, const QColor& text);
    // Whether the widget's window colour is dark.
    static bool isDark(const QWidget& widget);
};

} // namespace korvane
