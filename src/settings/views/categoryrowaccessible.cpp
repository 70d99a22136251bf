#include "settings/views/categoryrowaccessible.h"

#include "settings/views/categoryrow.h"
#include "uikit/accessiblefactory.h"

namespace korvane {

CategoryRowAccessible::CategoryRowAccessible(CategoryRow* row)
    : QAccessibleWidget(row) {}

void CategoryRowAccessible::install() {
    installAccessibleFactory<CategoryRow, CategoryRowAccessible>();
}

const QString& CategoryRowAccessible::moveUpAction() {
    static const QString name = QStringLiteral("Move up");
    return name;
}

const QString& CategoryRowAccessible::moveDownAction() {
    static const QString name = QStringLiteral("Move down");
    return name;
}

CategoryRow* CategoryRowAccessible::row() const {
    return static_cast<CategoryRow*>(widget());
}

QStringList CategoryRowAccessible::actionNames() const {
    QStringList names;
    if (row()->canMove(-1)) {
        names << moveUpAction();
    }
    if (row()->canMove(1)) {
        names << moveDownAction();
    }
    return names + QAccessibleWidget::actionNames();
}

QStringList CategoryRowAccessible::keyBindingsForAction(const QString& actionName) const {
    if (actionName == moveUpAction()) {
        return {QStringLiteral("Alt+Up")};
    }
    if (actionName == moveDownAction()) {
        return {QStringLiteral("Alt+Down")};
    }
    return QAccessibleWidget::keyBindingsForAction(actionName);
}

void CategoryRowAccessible::doAction(const QString& actionName) {
    if (actionName == moveUpAction()) {
        row()->move(-1);
    } else if (actionName == moveDownAction()) {
        row()->move(1);
    } else {
        QAccessibleWidget::doAction(actionName);
    }
}

} // namespace korvane
