#pragma once

#include <QAccessibleWidget>

namespace korvane {

// What assistive technology is told of a part that hands the keyboard focus on to another widget: a
// scrolling widget's viewport (a text box, a list, a scrolled page) to that widget, and a dialog's row of
// buttons to its first button. It never says it has the focus: Qt's own interfaces did, an unnamed second
// focus beside the named one (beside a trust box's text, or its "Trust"). Main thread.
class HandedFocusAccessible final : public QAccessibleWidget {
public:
    HandedFocusAccessible(QWidget* part, QAccessible::Role role);

    // Installs, once, the factory that gives every viewport and button row this interface; before any
    // of their interfaces is asked for.
    static void install();

    QAccessible::State state() const override;
};

} // namespace korvane
