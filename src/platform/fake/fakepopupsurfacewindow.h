#pragma once

#include "platform/popupsurfacewindow.h"

#include <functional>
#include <optional>
#include <vector>

namespace korvane {

// A popup window that records what was asked of it; a running animation ends when the test calls
// finishAnimation(). Main thread.
class FakePopupSurfaceWindow final : public PopupSurfaceWindow {
public:
    bool isVisible() const override { return visible; }
    ScreenRect frame() const override { return current; }
    void setFrame(const ScreenRect& frame) override {
        current = frame;
        setFrames.push_back(frame);
    }
    void animateFrame(const ScreenRect& frame, double seconds, double, double, double, double,
                      std::function<void()> completion) override {
        animationTarget = frame;
        animationSeconds = seconds;
        completion_ = std::move(completion);
        ++animations;
    }
    void stopAnimation() override {
        animationTarget.reset();
        completion_ = nullptr;
    }
    void orderFront() override {
        visible = true;
        ++orderFrontCount;
    }
    void orderOut() override {
        visible = false;
        ++orderOutCount;
    }

    bool animationRunning() const { return animationTarget.has_value(); }
    void finishAnimation() {
        if (animationTarget) {
            current = *animationTarget;
            animationTarget.reset();
            auto completion = std::move(completion_);
            completion_ = nullptr;
            if (completion) {
                completion();
            }
        }
    }

    bool visible = false;
    ScreenRect current{0, 0, 350, 200};
    std::vector<ScreenRect> setFrames;
    std::optional<ScreenRect> animationTarget;
    double animationSeconds = 0;
    int animations = 0;
    int orderFrontCount = 0;
    int orderOutCount = 0;

private:
    std::function<void()> completion_;
};

} // namespace korvane
