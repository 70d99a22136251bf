#include "uikit/kitcolors.h"

#include <QPalette>
#include <QWidget>

namespace korvane {

QColor KitColors::withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

QColor KitColors::accent(const QWidget& widget) {
    return widget.palette().color(QPalette::Highlight);
}

QColor KitColors::primaryText(const QWidget& widget) {
    return widget.palette().color(QPalette::WindowText);
}

QColor KitColors::secondaryText(const QWidget& widget) {
    return withAlpha(primaryText(widget), 0.62);
}

QColor KitColors::tertiaryText(const QWidget& widget) {
    return withAlpha(primaryText(widget), 0.42);
}

QColor KitColors::quaternaryFill(const QWidget& widget) {
    return withAlpha(primaryText(widget), 0.08);
}

QColor KitColors::controlBackground(const QWidget& widget) {
    return widget.palette().color(QPalette::Base);
}

QColor KitColors::textBackground(const QWidget& widget) {
    return widget.palette().color(QPalette::Base);
}

QColor KitColors::destructive() {
    return QColor(220, 53, 47);
}

bool KitColors::isDark(const QWidget& widget) {
    return widget.palette().color(QPalette::Window).lightnessF() < 0.5;
}

} // namespace korvane
