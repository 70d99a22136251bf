#pragma once

#include <QToolButton>

namespace korvane {

// A tool button (the symbol buttons of the settings windows, a stepper's arrows, the colour well)
// whose keyboard focus shows as a FocusFrame in place of the style's faint one. Main thread.
class KitToolButton : public QToolButton {
    Q_OBJECT

public:
    explicit KitToolButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace korvane
