#pragma once

#include <QAccessibleWidget>

namespace korvane {

class CategoryRow;

// What assistive technology is told of a row of the sources list: the plain widget's node, plus the
// actions "Move up" and "Move down" (with their keys) while the row can move that way. Main thread.
class CategoryRowAccessible final : public QAccessibleWidget {
public:
    explicit CategoryRowAccessible(CategoryRow* row);

    // Has QAccessible make this interface for every CategoryRow; once per process.
    static void install();

    static const QString& moveUpAction();
    static const QString& moveDownAction();

    QStringList actionNames() const override;
    QStringList keyBindingsForAction(const QString& actionName) const override;
    void doAction(const QString& actionName) override;

private:
    CategoryRow* row() const;
};

} // namespace korvane
