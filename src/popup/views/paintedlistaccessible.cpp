#include "popup/views/paintedlistaccessible.h"

namespace korvane {

QAccessible::State PaintedListAccessible::state() const {
    QAccessible::State s = QAccessibleWidget::state();
    if (shown_ && !shown_()) {
        s.invisible = true;
    }
    return s;
}

} // namespace korvane
