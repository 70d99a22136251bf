#pragma once

#include <QAccessibleWidget>

namespace korvane {

// What assistive technology is told of the viewport of a scrolling widget (a text box, a list, a
// scrolled page): a part of that widget, which never says it has the focus. The viewport passes the
// focus on to its widget, and would otherwise claim it too, an unnamed second focus beside the named
// one. Main thread.
class ScrollViewportAccessible final : public QAccessibleWidget {
public:
    explicit ScrollViewportAccessible(QWidget* viewport);

    // Installs, once, the factory that gives every scrolling widget's viewport this interface; before
    // any viewport's interface is asked for.
    static void install();

    QAccessible::State state() const override;
};

} // namespace korvane
