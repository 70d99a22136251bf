#include "app/appdelegate.h"

#include "app/statusbarcontroller.h"

namespace korvane {

bool AppDelegate::supportsGentleScheduledUpdateReminders() const {
    return true;
}

bool AppDelegate::standardUserDriverShouldHandleShowingScheduledUpdate(const UpdateItem& update,
                                                                       bool immediateFocus) const {
    // Everything else is announced only by the status menu's notice.
    return update.isCriticalUpdate || update.isInformationOnlyUpdate || immediateFocus;
}

void AppDelegate::standardUserDriverWillHandleShowingUpdate(bool handleShowingUpdate, const UpdateItem& update) {
    if (handleShowingUpdate) {
        return;
    }
    if (auto statusBar = statusBar_.lock()) {
        statusBar->setUpdateAvailable(update.displayVersionString);
    }
}

void AppDelegate::standardUserDriverDidReceiveUserAttention(const UpdateItem&) {
    clearUpdateNotice();
}

void AppDelegate::standardUserDriverWillFinishUpdateSession() {
    clearUpdateNotice();
}

void AppDelegate::clearUpdateNotice() {
    if (auto statusBar = statusBar_.lock()) {
        statusBar->clearUpdateNotice();
    }
}

} // namespace korvane
