#include "uikit/capsulebuttonaccessible.h"

namespace korvane {

CapsuleButtonAccessible::CapsuleButtonAccessible(CapsuleButton* button)
    : ButtonAccessible(button) {}

QAccessible::Role CapsuleButtonAccessible::role() const {
    return button()->isSelectable() ? QAccessible::PageTab : QAccessible::Button;
}

QAccessible::State CapsuleButtonAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    if (button()->isSelectable()) {
        state.selectable = true;
        state.selected = button()->isSelected();
        state.checkable = true;
        state.checked = button()->isSelected();
    }
    return state;
}

} // namespace korvane
