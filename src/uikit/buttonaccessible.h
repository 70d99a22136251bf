#pragma once

#include "uikit/accessiblefactory.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace korvane {

// What assistive technology is told of every `Button` (a button Korvane draws itself) through
// `Interface`, the class derived from this one: its press is offered, and done by a click, only while
// the button can act. Main thread.
template <typename Button, typename Interface> class ButtonAccessible : public QAccessibleWidget {
public:
    // Has QAccessible make `Interface` for every `Button`; once per process.
    static void install() { installAccessibleFactory<Button, Interface>(); }

    QStringList actionNames() const override {
        QStringList names;
        if (canPress()) {
            names << pressAction();
        }
        return names + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& actionName) override {
        if (actionName == pressAction()) {
            if (canPress()) {
                button()->click();
            }
            return;
        }
        QAccessibleWidget::doAction(actionName);
    }

protected:
    explicit ButtonAccessible(Button* button, QAccessible::Role role = QAccessible::Button)
        : QAccessibleWidget(button, role) {}

    Button* button() const { return static_cast<Button*>(widget()); }
    // Whether a press would act now.
    virtual bool canPress() const { return widget()->isEnabled(); }
};

} // namespace korvane
