#include "uikit/capsulebuttonaccessible.h"

#include "uikit/accessiblefactory.h"
#include "uikit/capsulebutton.h"

namespace korvane {

CapsuleButtonAccessible::CapsuleButtonAccessible(CapsuleButton* button)
    : QAccessibleWidget(button, QAccessible::Button) {}

void CapsuleButtonAccessible::install() {
    installAccessibleFactory<CapsuleButton, CapsuleButtonAccessible>();
}

CapsuleButton* CapsuleButtonAccessible::button() const {
    return static_cast<CapsuleButton*>(widget());
}

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

QStringList CapsuleButtonAccessible::actionNames() const {
    QStringList names;
    if (widget()->isEnabled()) {
        names << pressAction();
    }
    return names + QAccessibleWidget::actionNames();
}

void CapsuleButtonAccessible::doAction(const QString& actionName) {
    if (actionName == pressAction()) {
        if (widget()->isEnabled()) {
            button()->click();
        }
        return;
    }
    QAccessibleWidget::doAction(actionName);
}

} // namespace korvane
