#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

namespace korvane {

// The popup views' animations: one switch that turns them all off (tests, reduced motion) and a
// frame ticker that repaints while an animation runs and only then. Main thread.
class ViewAnimations {
public:
    // Off: spinners stand still, the caret does not blink, frames move at once.
    static bool enabled();
    static void setEnabled(bool enabled);
    // The desktop's reduced-motion wish (KORVANE_REDUCE_MOTION=1), or a test's.
    static bool reduceMotion();
    static void setReduceMotion(bool reduce);
};

// Calls `onFrame` about 30 times a second while started and animations are on; `phase` tells the
// seconds since start. Stops by itself when its owner goes.
class AnimationTicker {
public:
    explicit AnimationTicker(QObject* owner, std::function<void()> onFrame);
    void start();
    void stop();
    bool running() const { return timer_.isActive(); }
    // Seconds since start, 0 while animations are off.
    double elapsed() const;

private:
    QTimer timer_;
    QElapsedTimer clock_;
};

} // namespace korvane
