#pragma once

#include <QAccessibleWidget>

class QComboBox;

namespace korvane {

// What assistive technology is told of a pop-up picker (a QComboBox): it is named by its label (its
// accessible name) and its value is the item it shows, so that a screen reader says "Badge style" and
// then "Pastel"; Qt on Linux would name it by the item alone. Its list of items is its child, and its
// action opens or closes that list. A picker without a name is named by its item, as Qt names it.
// Main thread.
class PickerAccessible final : public QAccessibleWidget {
public:
    explicit PickerAccessible(QComboBox* picker);

    // Has QAccessible make this interface for every QComboBox; once per process, before anything asks
    // for a picker's interface.
    static void install();

    QString text(QAccessible::Text t) const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QStringList actionNames() const override;
    QString localizedActionDescription(const QString& actionName) const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;

private:
    QComboBox* picker() const;
    // Whether `actionName` opens or closes the list.
    static bool opensList(const QString& actionName);
};

} // namespace korvane
