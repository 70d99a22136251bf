#include "uikit/capsulebuttonaccessible.h"

#include "uikit/capsulebutton.h"

namespace korvane {
namespace {

QAccessibleInterface* makeInterface(const QString& className, QObject* object) {
    if (className != QLatin1String(CapsuleButton::staticMetaObject.className())) {
        return nullptr;
    }
    auto* button = qobject_cast<CapsuleButton*>(object);
    return button ? new CapsuleButtonAccessible(button) : nullptr;
}

} // namespace

CapsuleButtonAccessible::CapsuleButtonAccessible(CapsuleButton* button)
    : QAccessibleWidget(button, QAccessible::Button) {}

void CapsuleButtonAccessible::install() {
    static const bool installed = [] {
        QAccessible::installFactory(&makeInterface);
        return true;
    }();
    (void)installed;
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
