#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

class QLabel;
class QPushButton;
class QWidget;

namespace korvane {

class RoundedCard;

// The onboarding window's colours, fonts and the few kinds of label and button its steps are made
// of, so that every step draws alike and every control carries its visible label as its accessible
// name. The onboarding draws in its own light colours whatever the desktop's scheme. Main thread.
namespace onboardingstyle {

QColor accent();
QColor green();
QColor orange();
QColor primaryText();
// The dimmed texts, as strong as they need to be to read at 3:1 on the window.
QColor secondaryText();
QColor tertiaryText();
QColor controlBackground(double opacity);
QColor textBackground();
QColor windowBackground(double opacity);
QColor separator(double opacity = 1.0);
// The edge of a bordered button.
QColor buttonEdge();
// The colour of the window behind the steps, and of the mock popups of the demonstrations.
QColor windowColor();
QColor popupBackground();
// The fill of a mock popup's badge of `color`, on which its white text reads at 3:1.
QColor badgeFill(const QColor& color);
// The keyboard's focus frame on a control drawn on the window, and on one filled with the accent: the
// kit's frame, standing out at 3:1 from what it is drawn on.
QColor focusFrame();
QColor focusFrameOnAccent();

// The window's palette: its light colours for every role, so that no control takes a colour of a
// dark desktop scheme (a light placeholder on the white field, say).
QPalette palette();

QFont systemFont(double points, QFont::Weight weight = QFont::Normal);
QFont monospacedFont(double points, QFont::Weight weight = QFont::Normal);

// A label of `text` in `font` and `color`; `wrapWidth` > 0 wraps and centres its lines within it.
QLabel* label(const QString& text, const QFont& font, const QColor& color, QWidget* parent,
              int wrapWidth = 0);

// A button of `kind`, its keyboard focus shown as a frame on its own edge.
enum class ButtonKind { prominent, bordered, plain };
QPushButton* button(const QString& text, ButtonKind kind, QWidget* parent, bool large = false);

// The permission explanation that the card and the ready step show word for word: the ";;" held
// together by word joiners.
QString permissionExplanation();

// A rounded card of the kit filled with `fill`.
RoundedCard* card(const QColor& fill, double radius, QWidget* parent);

} // namespace onboardingstyle
} // namespace korvane
