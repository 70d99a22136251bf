#include "uikit/focusframe.h"

#include "model/colorcontrast.h"
#include "uikit/kitcolors.h"

#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QWidget>

namespace korvane {
namespace {

// How far from the plain background the frame may still be drawn over: a row's hover fill, a raised
// button's face shaded by the style (as the text colour at this opacity over it).
constexpr double shadeAllowance = 0.16;
// The width of a raised button's edge, and the corners of a frame inside it.
constexpr double faceInset = 2;
constexpr double faceRadius = 3;

Color toColor(const QColor& color) {
    return {color.redF(), color.greenF(), color.blueF(), color.alphaF()};
}

Color opaque(const QColor& color) {
    Color c = toColor(color);
    c.opacity = 1;
    return c;
}

QColor toQColor(Color color) {
    return QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                            static_cast<float>(color.blue), 1.0F);
}

} // namespace

bool FocusFrame::shown(const QWidget& widget) {
    const QWidget* window = widget.window();
    return widget.hasFocus() && window && window->testAttribute(Qt::WA_KeyboardFocusChange);
}

QColor FocusFrame::behind(const QWidget& widget) {
    for (const QWidget* w = &widget; w; w = w->parentWidget()) {
        if (w->autoFillBackground() || w->isWindow()) {
            return w->palette().color(w->backgroundRole());
        }
    }
    return widget.palette().color(QPalette::Window);
}

QColor FocusFrame::colorOn(const QColor& accent, const QColor& background, const QColor& ink) {
    const Color plain = opaque(background);
    Color fill = opaque(ink);
    fill.opacity = shadeAllowance;
    const Color hovered = composite(fill, plain);
    const auto reads = [&](Color candidate) {
        return contrastRatio(candidate, plain) >= minimumTextContrast &&
               contrastRatio(candidate, hovered) >= minimumTextContrast;
    };
    const Color start = opaque(accent);
    if (reads(start)) {
        return toQColor(start);
    }
    const Color black{0, 0, 0, 1};
    const Color white = Color::white();
    const Color extreme = contrastRatio(black, plain) > contrastRatio(white, plain) ? black : white;
    return toQColor(leastMixed(start, extreme, reads).value_or(extreme));
}

QColor FocusFrame::color(const QWidget& widget) {
    return colorOn(KitColors::accent(widget), behind(widget), KitColors::primaryText(widget));
}

QColor FocusFrame::colorOver(const QWidget& widget, const QColor& fill) {
    return colorOn(KitColors::accent(widget), toQColor(composite(toColor(fill), opaque(behind(widget)))),
                   KitColors::primaryText(widget));
}

QColor FocusFrame::colorOnAccent(const QPalette& palette) {
    const QColor accent = palette.color(QPalette::Highlight);
    const QColor ink = palette.color(QPalette::WindowText);
    if (contrastRatio(opaque(ink), opaque(accent)) >= minimumTextContrast) {
        return ink;
    }
    return colorOn(accent, accent, palette.color(QPalette::HighlightedText));
}

void FocusFrame::paint(QPainter& painter, const QRectF& area, const QColor& color, double radius) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, width));
    painter.setBrush(Qt::NoBrush);
    const double inset = width / 2;
    painter.drawRoundedRect(area.adjusted(inset, inset, -inset, -inset), radius, radius);
    painter.restore();
}

void FocusFrame::paintOnFace(QPainter& painter, const QRectF& button, const QPalette& palette) {
    const QColor color = colorOn(palette.color(QPalette::Highlight), palette.color(QPalette::Button),
                                 palette.color(QPalette::ButtonText));
    paint(painter, button.adjusted(faceInset, faceInset, -faceInset, -faceInset), color, faceRadius);
}

} // namespace korvane
