#pragma once

#include <QAccessibleWidget>

namespace korvane {

// What assistive technology is told of a dialog's row of buttons: a group that never says it has the
// focus. The row hands its focus to its first button, and Qt's own interface then said the row had it
// too, an unnamed second focus beside the named button (a trust box's "Trust", a confirmation's
// "Delete"). Main thread.
class ButtonRowAccessible final : public QAccessibleWidget {
public:
    explicit ButtonRowAccessible(QWidget* row);

    // Installs, once, the factory that gives every dialog's button row this interface; before any row's
    // interface is asked for.
    static void install();

    QAccessible::State state() const override;
};

} // namespace korvane
