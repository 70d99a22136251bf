#pragma once

#include <QWidget>

namespace korvane {

// A top-level window of the shell that closing only hides: it never ends the program, and it is
// centred on the screen the first time it appears. Main thread.
class ShellWindow : public QWidget {
public:
    explicit ShellWindow(Qt::WindowFlags flags);

    // Shows the window and brings it to the front with the keyboard focus.
    void showAndActivate();

private:
    bool centred_ = false;
};

} // namespace korvane
