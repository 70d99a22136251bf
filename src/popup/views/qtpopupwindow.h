#pragma once

#include "platform/popupsurfacewindow.h"
#include "popup/popupviewmodel.h"

#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace korvane {

class PopupContentView;
class PopupView;

// The popup's window on the desktop: frameless, kept above other windows, never focused or
// activated (the popup's keys come through the key tap), left alone by the window manager, with a
// translucent surface where a compositor runs. Hosts the popup's view. Main thread.
class QtPopupWindow final : public PopupSurfaceWindow {
public:
    explicit QtPopupWindow(std::shared_ptr<PopupViewModel> model);
    ~QtPopupWindow() override;

    bool isVisible() const override;
    ScreenRect frame() const override;
    void setFrame(const ScreenRect& frame) override;
    void animateFrame(const ScreenRect& frame, double seconds, double x1, double y1, double x2, double y2,
                      std::function<void()> completion) override;
    void stopAnimation() override;
    void orderFront() override;
    void orderOut() override;

    PopupView& view() const { return *view_; }
    PopupContentView& content() const { return *content_; }
    QWidget& widget() const { return *window_; }

    // Called once with the time from orderFront to the first frame painted after it.
    std::function<void(std::chrono::nanoseconds)> onFirstFrame;
    // After every frame of the popup that went to the screen, the first one included.
    std::function<void()> onPainted;

    // Whether a compositing manager runs on the X display, so that translucent windows blend.
    static bool compositorRunning();

private:
    void applyMask();

    std::unique_ptr<QWidget> window_;
    PopupContentView* content_ = nullptr;
    PopupView* view_ = nullptr;
    QVariantAnimation animation_;
    std::function<void()> completion_;
    bool translucent_ = false;
    std::optional<std::chrono::steady_clock::time_point> shownAt_;
};

} // namespace korvane
