#pragma once

#include <QColor>
#include <QWidget>

namespace korvane {

// A plain container drawn as a filled rounded rectangle, optionally with a border inside its edge:
// the cards and panels of the onboarding steps. Main thread.
class RoundedPanel : public QWidget {
public:
    RoundedPanel(QColor fill, double radius, QWidget* parent = nullptr);

    void setFill(QColor fill);
    void setBorder(QColor color, double width);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
    double radius_;
    QColor border_;
    double borderWidth_ = 0;
};

} // namespace korvane
