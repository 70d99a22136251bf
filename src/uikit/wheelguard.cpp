#include "uikit/wheelguard.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace korvane {

WheelGuard::WheelGuard(QWidget& control)
    : QObject(&control) {
    control.installEventFilter(this);
    if (control.focusPolicy() == Qt::WheelFocus) {
        control.setFocusPolicy(Qt::StrongFocus);
    }
}

void WheelGuard::install(QWidget& control) {
    new WheelGuard(control);
}

bool WheelGuard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel) {
        return false;
    }
    auto* control = static_cast<QWidget*>(watched);
    QWidget* focus = QApplication::focusWidget();
    if (focus == control || control->isAncestorOf(focus)) {
        return false;
    }
    // Ignored and stopped here: the application offers it to the control's parents instead.
    event->ignore();
    return true;
}

} // namespace korvane
