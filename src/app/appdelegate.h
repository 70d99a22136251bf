#pragma once

#include "platform/updater.h"

#include <memory>

namespace korvane {

class StatusBarController;

// The update checker's user-driver delegate: decides which scheduled updates the checker shows
// itself and which are only announced in the status menu, and clears that announcement once the
// user has seen the update. Main thread.
class AppDelegate final : public UpdaterUserDriverDelegate {
public:
    // The status menu that shows update notices; none until the coordinator made it.
    void setStatusBar(std::weak_ptr<StatusBarController> statusBar) { statusBar_ = std::move(statusBar); }

    bool supportsGentleScheduledUpdateReminders() const override;
    bool standardUserDriverShouldHandleShowingScheduledUpdate(const UpdateItem& update,
                                                              bool immediateFocus) const override;
    void standardUserDriverWillHandleShowingUpdate(bool handleShowingUpdate, const UpdateItem& update) override;
    void standardUserDriverDidReceiveUserAttention(const UpdateItem& update) override;
    void standardUserDriverWillFinishUpdateSession() override;

private:
    void clearUpdateNotice();

    std::weak_ptr<StatusBarController> statusBar_;
};

} // namespace korvane
