#pragma once

#include <functional>
#include <string>

namespace korvane {

// An available update as the update checker describes it.
struct UpdateItem {
    std::string displayVersionString;
    bool isCriticalUpdate = false;
    bool isInformationOnlyUpdate = false;
};

// What the update checker asks of the application before and while it presents an update. Main thread.
class UpdaterUserDriverDelegate {
public:
    virtual ~UpdaterUserDriverDelegate() = default;
    virtual bool supportsGentleScheduledUpdateReminders() const = 0;
    virtual bool standardUserDriverShouldHandleShowingScheduledUpdate(const UpdateItem& update,
                                                                      bool immediateFocus) const = 0;
    virtual void standardUserDriverWillHandleShowingUpdate(bool handleShowingUpdate, const UpdateItem& update) = 0;
    virtual void standardUserDriverDidReceiveUserAttention(const UpdateItem& update) = 0;
    virtual void standardUserDriverWillFinishUpdateSession() = 0;
};

// Checks for a newer Korvane on its own schedule and on request. It never downloads or installs
// anything. Main thread.
class Updater {
public:
    virtual ~Updater() = default;
    virtual bool canCheckForUpdates() const = 0;
    // Called with the current value at once, then on every change.
    virtual void observeCanCheckForUpdates(std::function<void(bool)> observer) = 0;
    // A check the user asked for: the result is shown whatever it is.
    virtual void checkForUpdates() = 0;
};

} // namespace korvane
