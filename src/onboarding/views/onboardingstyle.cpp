#include "onboarding/views/onboardingstyle.h"

#include "uikit/focusframe.h"
#include "uikit/kitcolors.h"
#include "uikit/roundedcard.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>

namespace korvane::onboardingstyle {

QColor accent() {
    return QColor(0, 122, 255);
}
QColor green() {
    return QColor(40, 167, 69);
}
QColor orange() {
    return QColor(255, 149, 0);
}
QColor primaryText() {
    return QColor(29, 29, 31);
}
QColor secondaryText() {
    return KitColors::legible(QColor(0, 0, 0, 128), windowColor());
}
QColor tertiaryText() {
    return KitColors::legible(QColor(0, 0, 0, 77), windowColor());
}
QColor controlBackground(double opacity) {
    return QColor(255, 255, 255, static_cast<int>(255 * opacity));
}
QColor textBackground() {
    return QColor(255, 255, 255);
}
QColor windowBackground(double opacity) {
    return QColor(236, 236, 236, static_cast<int>(255 * opacity));
}
QColor separator(double opacity) {
    return QColor(0, 0, 0, static_cast<int>(40 * opacity));
}
QColor buttonEdge() {
    return QColor(0, 0, 0, 50);
}
QColor windowColor() {
    return QColor(246, 246, 246);
}
QColor popupBackground() {
    return QColor(250, 250, 250);
}
QColor badgeFill(const QColor& color) {
    return KitColors::legibleFill(KitColors::withAlpha(color, 0.8), popupBackground(), Qt::white);
}

QColor focusFrame() {
    // Strong enough to stand out from the darkest it is drawn over: a bordered button's edge.
    const QColor edge = buttonEdge();
    const double a = edge.alphaF();
    const QColor window = windowColor();
    const QColor edgeOnWindow =
        QColor::fromRgbF(static_cast<float>(edge.redF() * a + window.redF() * (1 - a)),
                         static_cast<float>(edge.greenF() * a + window.greenF() * (1 - a)),
                         static_cast<float>(edge.blueF() * a + window.blueF() * (1 - a)));
    return FocusFrame::colorOn(accent(), edgeOnWindow, primaryText());
}
QColor focusFrameOnAccent() {
    return FocusFrame::colorOnAccent(palette());
}

QPalette palette() {
    // Qt derives the bevels and the switched-off texts from the button and window colours.
    QPalette light(textBackground(), windowColor());
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
            light.setColor(group, role, primaryText());
        }
    }
    light.setColor(QPalette::Base, textBackground());
    light.setColor(QPalette::Highlight, accent());
    light.setColor(QPalette::HighlightedText, Qt::white);
    light.setColor(QPalette::Link, accent());
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        light.setColor(group, QPalette::PlaceholderText,
                       KitColors::legible(KitColors::withAlpha(light.color(group, QPalette::Text), 0.5),
                                          light.color(group, QPalette::Base)));
    }
    return light;
}

// The window's sizes are in points of a 72-per-inch screen, one point a logical pixel: the fonts
// are sized in pixels, so that the layout keeps its proportions whatever the screen's DPI.
QFont systemFont(double points, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(static_cast<int>(points + 0.5));
    font.setWeight(weight);
    return font;
}

QFont monospacedFont(double points, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(static_cast<int>(points + 0.5));
    font.setWeight(weight);
    return font;
}

namespace {

QString colorCss(const QColor& color) {
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alphaF());
}

} // namespace

QLabel* label(const QString& text, const QFont& font, const QColor& color, QWidget* parent, int wrapWidth) {
    auto* shown = new QLabel(text, parent);
    shown->setFont(font);
    shown->setTextFormat(Qt::PlainText);
    shown->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(colorCss(color)));
    shown->setAccessibleName(text);
    if (wrapWidth > 0) {
        shown->setWordWrap(true);
        shown->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        shown->setFixedWidth(wrapWidth);
        // Laid out at that width whatever room the parent offers: every line shows.
        shown->setFixedHeight(shown->heightForWidth(wrapWidth));
    }
    return shown;
}

QPushButton* button(const QString& text, ButtonKind kind, QWidget* parent, bool large) {
    auto* pressable = new QPushButton(text, parent);
    pressable->setAccessibleName(text);
    pressable->setCursor(Qt::PointingHandCursor);
    pressable->setFont(
        systemFont(large ? 13 : 12, kind == ButtonKind::prominent ? QFont::Medium : QFont::Normal));
    // Every kind keeps room for the frame on its edge, so that showing it moves nothing; the style's own
    // frame around the label is left out.
    switch (kind) {
    case ButtonKind::prominent:
        // The edge in the face's own colour until the focus frame takes it.
        pressable->setStyleSheet(
            QStringLiteral("QPushButton { color: white; background: %1; border: 2px solid %1; "
                           "border-radius: 6px; padding: %2; outline: none; } "
                           "QPushButton:focus { border-color: %3; } "
                           "QPushButton:disabled { background: %4; border-color: %4; }")
                .arg(colorCss(accent()), large ? QStringLiteral("5px 16px") : QStringLiteral("2px 10px"),
                     colorCss(focusFrameOnAccent()), colorCss(QColor(0, 122, 255, 90))));
        break;
    case ButtonKind::bordered:
        pressable->setStyleSheet(
            QStringLiteral("QPushButton { color: %1; background: white; border: 1px solid %2; "
                           "border-radius: 6px; padding: %3; outline: none; } "
                           "QPushButton:focus { border: 2px solid %4; padding: %5; } "
                           "QPushButton:pressed { background: %6; }")
                .arg(colorCss(primaryText()), colorCss(buttonEdge()),
                     large ? QStringLiteral("7px 18px") : QStringLiteral("4px 12px"), colorCss(focusFrame()),
                     large ? QStringLiteral("6px 17px") : QStringLiteral("3px 11px"),
                     colorCss(QColor(0, 0, 0, 20))));
        break;
    case ButtonKind::plain:
        pressable->setFlat(true);
        pressable->setStyleSheet(
            QStringLiteral("QPushButton { color: %1; background: transparent; border: 2px solid transparent; "
                           "border-radius: 4px; padding: 0px 2px; outline: none; } "
                           "QPushButton:focus { border-color: %2; }")
                .arg(colorCss(secondaryText()), colorCss(focusFrame())));
        break;
    }
    return pressable;
}

QString permissionExplanation() {
    return QStringLiteral("Korvane needs accessibility access to detect ") + QChar(0x2060) +
           QStringLiteral(";;") + QChar(0x2060) +
           QStringLiteral(" keystrokes and insert completions across apps. No keystrokes are recorded or "
                          "stored \u2014 Korvane only activates after the trigger.");
}

RoundedCard* card(const QColor& fill, double radius, QWidget* parent) {
    auto* made = new RoundedCard(parent);
    made->setFill(fill);
    made->setRadius(radius);
    return made;
}

} // namespace korvane::onboardingstyle
