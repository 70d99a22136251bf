#pragma once

#include "app/frametimer.h"
#include "base/observerlist.h"
#include "popup/popupviewmodel.h"

#include <QObject>
#include <QWidget>
#include <memory>

namespace korvane {

class QtPopupWindow;

// Tells of the popup's frames that reach the screen: each to the frame timer, when one measures, and the
// first after the popup was shown to `firstFrame`. A frame painted before the window is mapped reaches the
// screen only with the expose that maps it, which Qt flushes outside any update request. Main thread; a
// child of the popup's window widget.
class PopupFrames final : public QObject {
public:
    PopupFrames(QtPopupWindow& window, std::weak_ptr<PopupViewModel> model, std::shared_ptr<FrameTimer> timer,
                std::shared_ptr<ObserverList<>> firstFrame);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool exposed() const;
    void reachedScreen();

    QWidget& top_;
    std::weak_ptr<PopupViewModel> model_;
    std::shared_ptr<FrameTimer> timer_;
    std::shared_ptr<ObserverList<>> firstFrame_;
    // Painted since the popup was shown, not yet on the screen.
    bool shown_ = false;
    bool watchingExposure_ = false;
};

} // namespace korvane
