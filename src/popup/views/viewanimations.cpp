#include "popup/views/viewanimations.h"

#include <cstdlib>
#include <cstring>

namespace korvane {
namespace {

bool& enabledFlag() {
    static bool enabled = true;
    return enabled;
}

bool& reduceMotionFlag() {
    static bool reduce = [] {
        const char* value = std::getenv("KORVANE_REDUCE_MOTION");
        return value != nullptr && std::strcmp(value, "1") == 0;
    }();
    return reduce;
}

} // namespace

bool ViewAnimations::enabled() {
    return enabledFlag();
}

void ViewAnimations::setEnabled(bool enabled) {
    enabledFlag() = enabled;
}

bool ViewAnimations::reduceMotion() {
    return reduceMotionFlag();
}

void ViewAnimations::setReduceMotion(bool reduce) {
    reduceMotionFlag() = reduce;
}

AnimationTicker::AnimationTicker(QObject* owner, std::function<void()> onFrame) {
    timer_.setInterval(33);
    QObject::connect(&timer_, &QTimer::timeout, owner, std::move(onFrame));
}

void AnimationTicker::start() {
    if (!ViewAnimations::enabled() || timer_.isActive()) {
        return;
    }
    clock_.start();
    timer_.start();
}

void AnimationTicker::stop() {
    timer_.stop();
}

double AnimationTicker::elapsed() const {
    if (!ViewAnimations::enabled() || !clock_.isValid()) {
        return 0;
    }
    return static_cast<double>(clock_.elapsed()) / 1000.0;
}

} // namespace korvane
