#pragma once

#include <QPointer>
#include <QProxyStyle>

class QFocusFrame;

namespace korvane {

// The application's style: the desktop's own, with the keyboard's focus on every standard control
// (check boxes, list rows, push buttons, text fields and text areas) drawn as a FocusFrame in place of
// the style's faint one, and shown from a window's first focus on, not only once a key has moved it.
// Main thread.
class KitStyle final : public QProxyStyle {
    Q_OBJECT

public:
    // Makes the application's style a KitStyle over the one it has; once.
    static void install();

    // Over the style named `base` (the application's current one when no style has that name).
    explicit KitStyle(const QString& base);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;

private:
    // Shows the focus a window opens with; frames a text area, which draws no focus of its own, with a
    // frame widget around it.
    void follow(QWidget* old, QWidget* focused);

    QPointer<QFocusFrame> areaFrame_;
};

} // namespace korvane
