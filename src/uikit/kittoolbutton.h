#pragma once

#include <QToolButton>
#include <optional>

namespace korvane {

// A tool button (the symbol buttons of the settings windows, a stepper's arrows, the colour well)
// whose keyboard focus shows as a FocusFrame in place of the style's faint one. It is told to
// assistive technology by KitToolButtonAccessible. Main thread.
class KitToolButton : public QToolButton {
    Q_OBJECT

public:
    explicit KitToolButton(QWidget* parent = nullptr);

    // A button whose action can do nothing now (a stepper's arrow at its limit) keeps its place in
    // the Tab order and the focus, where a disabled one would hand the focus on: it is drawn dimmed,
    // told as unavailable, and a press does nothing.
    void setAvailable(bool available);
    bool isAvailable() const { return available_; }
    // A button that shows and hides a part of the window tells whether that part is shown.
    void setExpanded(bool expanded);
    std::optional<bool> expanded() const { return expanded_; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void tellState(bool available, bool expanded);

    bool available_ = true;
    std::optional<bool> expanded_;
};

} // namespace korvane
