#pragma once

#include <QAccessibleWidget>

namespace korvane {

class KitToolButton;

// What assistive technology is told of a KitToolButton: a button named by its accessible name (or
// its text), unavailable while the button cannot act (with no press to offer), pressed while held
// down, and expanded or collapsed when it shows and hides a part of the window. Pressing it clicks
// it. Main thread.
class KitToolButtonAccessible final : public QAccessibleWidget {
public:
    explicit KitToolButtonAccessible(KitToolButton* button);

    // Has QAccessible make this interface for every KitToolButton; once per process.
    static void install();

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    KitToolButton* button() const;
    bool canPress() const;
};

} // namespace korvane
