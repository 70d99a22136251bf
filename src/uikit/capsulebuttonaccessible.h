#pragma once

#include <QAccessibleWidget>

namespace korvane {

class CapsuleButton;

// What assistive technology is told of a CapsuleButton: a button, or a page tab once the button has
// been given a selected state (a scope tab), reported then as selected and checked or not. Pressing
// it clicks it. Main thread.
class CapsuleButtonAccessible final : public QAccessibleWidget {
public:
    explicit CapsuleButtonAccessible(CapsuleButton* button);

    // Has QAccessible make this interface for every CapsuleButton; once per process.
    static void install();

    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    CapsuleButton* button() const;
};

} // namespace korvane
