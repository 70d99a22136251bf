#pragma once

#include <QAccessibleInterface>
#include <QPointer>
#include <QWidget>

namespace korvane {

// What every painted part of a view (a row, a column) answers the same way to assistive technology:
// it has no object and, unless it says otherwise, no children; its parent is the interface it was given
// and its window is its view's; it is valid while its view lives. Main thread.
class PaintedPartAccessible : public QAccessibleInterface {
public:
    PaintedPartAccessible(QWidget* view, QAccessibleInterface* parent);

    bool isValid() const override { return !view_.isNull(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override { return parent_; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString&) override {}

protected:
    // The view, or nothing once it is gone.
    QWidget* view() const { return view_.data(); }
    // `area` of the view on the screen; nothing once the view is gone.
    QRect onScreen(const QRect& area) const;
    // Whether the view lives and is shown.
    bool viewShown() const { return view_ && view_->isVisible(); }

private:
    QPointer<QWidget> view_;
    QAccessibleInterface* parent_;
};

} // namespace korvane
