#pragma once

#include <QObject>

class QWidget;

namespace korvane {

// Keeps the mouse wheel from changing a value control (a picker, a stepper, a colour well) that the
// pointer merely passes over: the control takes the wheel only while it or one of its parts has the
// keyboard focus, and otherwise hands it on to what holds it, so a scrolled page goes on scrolling.
// The wheel no longer gives such a control the focus. Main thread.
class WheelGuard final : public QObject {
    Q_OBJECT

public:
    // Guards `control` for as long as it lives.
    static void install(QWidget& control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit WheelGuard(QWidget& control);
};

} // namespace korvane
