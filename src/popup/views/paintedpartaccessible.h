#pragma once

#include <QAccessibleInterface>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace korvane {

// What every painted part of a view (a row, a line of text) answers the same way to assistive
// technologies: it has no object and no children, and its parent and window are its view's. The
// part keeps its view weakly and reads it anew on every question. Main thread.
template <typename View> class PaintedPartAccessible : public QAccessibleInterface {
public:
    explicit PaintedPartAccessible(View* view)
        : view_(view) {}

    bool isValid() const override { return !view_.isNull(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return view_ ? view_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(view_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString&) override {}

protected:
    QPointer<View> view_;
};

} // namespace korvane
