#pragma once

#include <QColor>
#include <QWidget>
#include <functional>

namespace korvane {

// A row that knows whether the pointer is over it, draws a faint rounded fill meanwhile, and reports
// a click anywhere on it that no child button took. Holds any layout. Main thread.
class HoverRow : public QWidget {
    Q_OBJECT

public:
    explicit HoverRow(QWidget* parent = nullptr);

    bool isHovered() const { return hovered_; }
    // Sets the hover state as the pointer would (tests and keyboard focus use it too).
    void setHovered(bool hovered);
    void setRadius(double radius) { radius_ = radius; }

    std::function<void(bool)> onHoverChanged;
    std::function<void()> onClicked;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool hovered_ = false;
    double radius_ = 6;
};

} // namespace korvane
