#include "app/popupframes.h"

#include "model/snippetsource.h"
#include "popup/views/qtpopupwindow.h"

#include <QEvent>
#include <QWindow>
#include <utility>

namespace korvane {
namespace {

// The file results a frame of the popup shows: search results only, as the browser lists recent files too.
std::string shownFileRows(const PopupViewModel& model) {
    std::string rows;
    if (model.mode() == PopupMode::search) {
        for (const auto& result : model.allResults()) {
            if (result.snippet->source == SnippetSource::filePath()) {
                rows += result.snippet->id + "\n";
            }
        }
    }
    return rows;
}

} // namespace

PopupFrames::PopupFrames(QtPopupWindow& window, std::weak_ptr<PopupViewModel> model,
                         std::shared_ptr<FrameTimer> timer, std::shared_ptr<ObserverList<>> firstFrame)
    : QObject(&window.widget())
    , top_(window.widget())
    , model_(std::move(model))
    , timer_(std::move(timer))
    , firstFrame_(std::move(firstFrame)) {
    window.onFirstFrame = [this](std::chrono::nanoseconds) {
        if (timer_) {
            timer_->noteShown();
        }
        shown_ = true;
        if (QWindow* handle = top_.windowHandle(); handle != nullptr && !watchingExposure_) {
            handle->installEventFilter(this);
            watchingExposure_ = true;
        }
    };
    window.onPainted = [this] {
        if (exposed()) {
            reachedScreen();
        }
    };
}

bool PopupFrames::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::Expose) {
        // Looked at once the expose has flushed what the window holds.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (shown_ && exposed()) {
                    reachedScreen();
                }
            },
            Qt::QueuedConnection);
    }
    return false;
}

bool PopupFrames::exposed() const {
    const QWindow* handle = top_.windowHandle();
    return handle != nullptr && handle->isExposed();
}

void PopupFrames::reachedScreen() {
    if (timer_) {
        const auto painted = model_.lock();
        timer_->notePainted(painted ? shownFileRows(*painted) : std::string());
    }
    if (std::exchange(shown_, false)) {
        firstFrame_->notify();
    }
}

} // namespace korvane
