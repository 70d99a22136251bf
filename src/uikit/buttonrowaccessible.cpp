#include "uikit/buttonrowaccessible.h"

#include <QDialogButtonBox>

namespace korvane {

ButtonRowAccessible::ButtonRowAccessible(QWidget* row)
    : QAccessibleWidget(row, QAccessible::Grouping) {}

void ButtonRowAccessible::install() {
    static const bool installed = [] {
        QAccessible::installFactory([](const QString& className, QObject* object) -> QAccessibleInterface* {
            // Asked before Qt's own factory, which has an interface of its own for the row.
            if (className != QLatin1String("QDialogButtonBox")) {
                return nullptr;
            }
            auto* row = qobject_cast<QDialogButtonBox*>(object);
            return row != nullptr ? new ButtonRowAccessible(row) : nullptr;
        });
        return true;
    }();
    (void)installed;
}

QAccessible::State ButtonRowAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.focused = false;
    return state;
}

} // namespace korvane
