#pragma once

#include "base/scheduler.h"
#include "platform/accessibilitytrust.h"
#include "platform/linux/workerthread.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

namespace korvane {

// Trusted when the X display is reachable and offers XInput 2.2 and XTEST, and the session's
// accessibility bus is switched on (org.a11y.Status IsEnabled) as the accessibility bus launcher
// that owns org.a11y.Bus reports it: what reading keys, focused text and posting input need. The
// questions go over the display and the bus on a thread of its own, each limited to a few seconds
// (no answer counts as not trusted); isTrusted() answers at once with the last answer (not trusted
// before the first) and asks again in the background, one question at a time. A new answer is told
// to the observer through the main scheduler. Any thread.
class LinuxAccessibilityTrust final : public AccessibilityTrust {
public:
    using Check = std::function<bool()>;
    using LauncherCheck = std::function<bool(std::int32_t pid)>;

    // `check` is the question asked in the background, first when the answer is first wanted;
    // answers are told through `mainScheduler`, which must outlive this object.
    explicit LinuxAccessibilityTrust(Scheduler& mainScheduler, Check check = defaultCheck);
    // Waits for a question already being asked, at most its time limits.
    ~LinuxAccessibilityTrust() override;

    // The last answer, and another question asked unless one is on its way. Never waits.
    bool isTrusted() const override;
    // Sets org.a11y.Status IsEnabled to true through the launcher in the background, and asks again
    // unless a question is already on its way.
    void requestTrust() override;
    // Asks again, so that a new observer hears the answer as it stands now.
    void setOnTrustChanged(std::function<void(bool isTrusted)> onTrustChanged) override;

    static bool defaultCheck();
    static bool displayOffersInput();
    // Whether the owner of org.a11y.Bus is the launcher (by `isLauncher` on its process id) and
    // reports the bus switched on; a bus or owner that does not answer within a second is not.
    static bool accessibilityBusEnabled(const LauncherCheck& isLauncher = isAccessibilityBusLauncher);
    // Whether process `pid` runs at-spi-bus-launcher as the system installed it (a program of that
    // name owned by root and writable by nobody else), which a program of the user's own cannot pass for.
    static bool isAccessibilityBusLauncher(std::int32_t pid);

private:
    void startRefresh() const;
    void refresh() const;

    Scheduler& mainScheduler_;
    const Check check_;
    mutable std::mutex mutex_;
    mutable std::optional<bool> lastAnswer_;
    mutable bool refreshing_ = false;
    std::function<void(bool)> onTrustChanged_;
    // The next answer is told even when it does not differ: a new observer has not heard one yet.
    mutable bool tellNextAnswer_ = false;
    // Last, so that it stops (finishing its running question) before the state above goes.
    mutable WorkerThread worker_{"korvane-trust"};
};

} // namespace korvane
