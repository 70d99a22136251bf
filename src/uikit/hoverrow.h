#pragma once

#include <QColor>
#include <QWidget>
#include <functional>

namespace korvane {

// A row that knows whether the pointer is over it or keyboard focus is on it or one of its children,
// draws a faint rounded fill meanwhile, and reports a click anywhere on it that no child button took.
// Holds any layout. Main thread.
class HoverRow : public QWidget {
    Q_OBJECT

public:
    explicit HoverRow(QWidget* parent = nullptr);

    bool isHovered() const { return hovered_; }
    // Sets the hover state as the pointer would (tests use it too).
    void setHovered(bool hovered);
    bool hasFocusWithin() const { return focusWithin_; }
    // The pointer is over the row or keyboard focus is within it: the row shows its fill and whatever
    // it shows only on hover.
    bool isHighlighted() const { return hovered_ || focusWithin_; }
    void setRadius(double radius) { radius_ = radius; }

    // Called when isHighlighted() changes, with its new value.
    std::function<void(bool)> onHighlightChanged;
    std::function<void()> onClicked;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void focusMoved(QWidget* from, QWidget* to);
    void changeState(bool hovered, bool focusWithin);

    bool hovered_ = false;
    bool focusWithin_ = false;
    double radius_ = 6;
};

} // namespace korvane
