#include "uikit/kitcolors.h"

#include "model/colorcontrast.h"

#include <QPalette>
#include <QWidget>

namespace korvane {
namespace {

Color toColor(const QColor& color) {
    return {color.redF(), color.greenF(), color.blueF(), color.alphaF()};
}

QColor toQColor(Color color) {
    return QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                            static_cast<float>(color.blue), static_cast<float>(color.opacity));
}

} // namespace

QColor KitColors::withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

QColor KitColors::legible(const QColor& text, const QColor& background) {
    Color behind = toColor(background);
    behind.opacity = 1;
    const auto reads = [&](Color candidate) {
        return contrastRatio(candidate, behind) >= minimumTextContrast;
    };
    const Color drawn = composite(toColor(text), behind);
    if (reads(drawn)) {
        return text;
    }
    Color full = toColor(text);
    full.opacity = 1;
    if (const auto stronger = leastMixed(drawn, full, reads)) {
        return toQColor(*stronger);
    }
    // The text's own colour is too close to the background: on toward the extreme further from it.
    const Color black{0, 0, 0, 1};
    const Color white = Color::white();
    const Color extreme = contrastRatio(black, behind) > contrastRatio(white, behind) ? black : white;
    return toQColor(leastMixed(full, extreme, reads).value_or(extreme));
}

QColor KitColors::legibleFill(const QColor& fill, const QColor& behind, const QColor& text) {
    Color under = toColor(behind);
    under.opacity = 1;
    const Color drawn = composite(toColor(fill), under);
    const auto reads = [&](Color candidate) {
        return contrastRatio(composite(toColor(text), candidate), candidate) >= minimumTextContrast;
    };
    if (reads(drawn)) {
        return fill;
    }
    const Color black{0, 0, 0, 1};
    const Color white = Color::white();
    const Color ink = composite(toColor(text), drawn);
    const Color away = relativeLuminance(ink) >= relativeLuminance(drawn) ? black : white;
    return toQColor(leastMixed(drawn, away, reads).value_or(away));
}

QColor KitColors::accent(const QWidget& widget) {
    return widget.palette().color(QPalette::Highlight);
}

QColor KitColors::primaryText(const QWidget& widget) {
    return widget.palette().color(QPalette::WindowText);
}

QColor KitColors::secondaryText(const QWidget& widget) {
    return legible(withAlpha(primaryText(widget), 0.62), widget.palette().color(QPalette::Window));
}

QColor KitColors::tertiaryText(const QWidget& widget) {
    return legible(withAlpha(primaryText(widget), 0.42), widget.palette().color(QPalette::Window));
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
