#pragma once

#include <QColor>
#include <QFrame>
#include <optional>

namespace korvane {

// A container drawn as a rounded rectangle with an optional fill and outline: the inline snippet
// editor, the permission card, the capture popover. Holds any layout. Main thread.
class RoundedCard : public QFrame {
    Q_OBJECT

public:
    explicit RoundedCard(QWidget* parent = nullptr);

    void setRadius(double radius);
    // The fill; none leaves the parent showing through.
    void setFill(std::optional<QColor> fill);
    // The outline, `width` pixels wide; none draws no outline.
    void setStroke(std::optional<QColor> stroke, double width = 1);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double radius_ = 8;
    std::optional<QColor> fill_;
    std::optional<QColor> stroke_;
    double strokeWidth_ = 1;
};

} // namespace korvane
