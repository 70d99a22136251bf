#pragma once

#include <QWidget>

class QStackedWidget;

namespace korvane {

// The windows' short ease-out animations (fades, slides, the page cross-fade), with one global off
// switch: tests and screenshots turn them off and every change then happens at once. Main thread.
class Animations {
public:
    // The length of opening, closing and toggling rows and editors.
    static constexpr int toggleMilliseconds = 200;
    // The length of the settings window's page cross-fade.
    static constexpr int pageMilliseconds = 150;

    static bool enabled();
    static void setEnabled(bool enabled);

    // Where a widget slides in from while it fades in.
    enum class Edge { none, top, leading };

    // Fades `widget` in (and slides it by a few pixels from `edge`) over `milliseconds`.
    static void fadeIn(QWidget* widget, int milliseconds = toggleMilliseconds, Edge edge = Edge::none);
    // Fades a still picture of `widget` out where it stands, sliding it a few pixels toward `edge`,
    // so that the widget itself can go or change at once. The picture, a child of the widget's
    // parent named "fadingPicture", takes no input and deletes itself at the end.
    static void fadeOut(QWidget* widget, int milliseconds = toggleMilliseconds, Edge edge = Edge::none);
    // Shows page `index` of `stack`, cross-fading from the page shown before.
    static void crossFade(QStackedWidget* stack, int index, int milliseconds = pageMilliseconds);
};

} // namespace korvane
