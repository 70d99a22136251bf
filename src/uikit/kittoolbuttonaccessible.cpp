#include "uikit/kittoolbuttonaccessible.h"

namespace korvane {

KitToolButtonAccessible::KitToolButtonAccessible(KitToolButton* button)
    : ButtonAccessible(button) {}

bool KitToolButtonAccessible::canPress() const {
    return button()->isEnabled() && button()->isAvailable();
}

QString KitToolButtonAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Name && button()->accessibleName().isEmpty()) {
        return button()->text();
    }
    return QAccessibleWidget::text(t);
}

QAccessible::State KitToolButtonAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.disabled = !canPress();
    state.pressed = button()->isDown();
    if (const auto expanded = button()->expanded()) {
        state.expandable = true;
        state.expanded = *expanded;
        state.collapsed = !*expanded;
    }
    return state;
}

} // namespace korvane
