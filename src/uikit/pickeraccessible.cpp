#include "uikit/pickeraccessible.h"

#include "uikit/accessiblefactory.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

namespace korvane {

PickerAccessible::PickerAccessible(QComboBox* picker)
    : QAccessibleWidget(picker, QAccessible::ComboBox) {}

void PickerAccessible::install() {
    installAccessibleFactory<QComboBox, PickerAccessible>();
}

QComboBox* PickerAccessible::picker() const {
    return static_cast<QComboBox*>(widget());
}

QString PickerAccessible::text(QAccessible::Text t) const {
    const bool unnamed = t == QAccessible::Name && picker()->accessibleName().isEmpty();
    if (t == QAccessible::Value || unnamed) {
        return picker()->isEditable() ? picker()->lineEdit()->text() : picker()->currentText();
    }
    return QAccessibleWidget::text(t);
}

int PickerAccessible::childCount() const {
    // The list of items, and the text field of a picker that takes typing.
    return picker()->isEditable() ? 2 : 1;
}

QAccessibleInterface* PickerAccessible::child(int index) const {
    if (index == 0) {
        return QAccessible::queryAccessibleInterface(picker()->view());
    }
    if (index == 1 && picker()->isEditable()) {
        return QAccessible::queryAccessibleInterface(picker()->lineEdit());
    }
    return nullptr;
}

int PickerAccessible::indexOfChild(const QAccessibleInterface* child) const {
    if (!child) {
        return -1;
    }
    if (child->object() == picker()->view()) {
        return 0;
    }
    return picker()->isEditable() && child->object() == picker()->lineEdit() ? 1 : -1;
}

bool PickerAccessible::opensList(const QString& actionName) {
    return actionName == showMenuAction() || actionName == pressAction();
}

QStringList PickerAccessible::actionNames() const {
    return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
}

QString PickerAccessible::localizedActionDescription(const QString& actionName) const {
    return opensList(actionName) ? QStringLiteral("Opens the list of choices")
                                 : QAccessibleWidget::localizedActionDescription(actionName);
}

void PickerAccessible::doAction(const QString& actionName) {
    if (!opensList(actionName)) {
        QAccessibleWidget::doAction(actionName);
        return;
    }
    if (picker()->view()->isVisible()) {
        picker()->hidePopup();
    } else {
        picker()->showPopup();
    }
}

QStringList PickerAccessible::keyBindingsForAction(const QString& actionName) const {
    return opensList(actionName) ? QStringList() : QAccessibleWidget::keyBindingsForAction(actionName);
}

} // namespace korvane
