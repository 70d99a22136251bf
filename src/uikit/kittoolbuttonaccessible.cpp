#include "uikit/kittoolbuttonaccessible.h"

#include "uikit/accessiblefactory.h"
#include "uikit/kittoolbutton.h"

namespace korvane {

KitToolButtonAccessible::KitToolButtonAccessible(KitToolButton* button)
    : QAccessibleWidget(button, QAccessible::Button) {}

void KitToolButtonAccessible::install() {
    installAccessibleFactory<KitToolButton, KitToolButtonAccessible>();
}

KitToolButton* KitToolButtonAccessible::button() const {
    return static_cast<KitToolButton*>(widget());
}

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

QStringList KitToolButtonAccessible::actionNames() const {
    QStringList names;
    if (canPress()) {
        names << pressAction();
    }
    return names + QAccessibleWidget::actionNames();
}

void KitToolButtonAccessible::doAction(const QString& actionName) {
    if (actionName == pressAction()) {
        if (canPress()) {
            button()->click();
        }
        return;
    }
    QAccessibleWidget::doAction(actionName);
}

} // namespace korvane
