#pragma once

#include <QWidget>
#include <functional>

class QLabel;

namespace korvane {

class KitToolButton;

// A label that shows a stored number as it is, with "−" and "+" beside it that step it within a
// range. Unlike a spin box it never clamps or rewrites what it shows: a hand-edited value out of
// range stays on screen until the user steps. At a limit its arrow that way does nothing and keeps the
// focus. Main thread.
class SettingStepper final : public QWidget {
    Q_OBJECT

public:
    // `format` turns the value into the label's text.
    SettingStepper(double lower, double upper, double step, std::function<QString(double)> format,
                   QWidget* parent = nullptr);

    void setValue(double value);
    double value() const { return value_; }
    QString text() const;
    // One step up or down, as the buttons do.
    void increment();
    void decrement();

    // Called with the new value after a step of the user's; never for setValue.
    std::function<void(double)> onStep;

private:
    void refresh();

    double lower_;
    double upper_;
    double step_;
    std::function<QString(double)> format_;
    double value_ = 0;
    QLabel* label_ = nullptr;
    KitToolButton* down_ = nullptr;
    KitToolButton* up_ = nullptr;
};

} // namespace korvane
