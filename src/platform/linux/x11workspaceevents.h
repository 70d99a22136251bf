#pragma once

#include "base/scheduler.h"
#include "platform/linux/desktopfileindex.h"
#include "platform/linux/uniquefd.h"
#include "platform/workspaceevents.h"

#include <chrono>
#include <memory>
#include <thread>

namespace korvane::x11 {

// Reports each change of the window manager's active window (_NET_ACTIVE_WINDOW), also between two
// windows of one application, with the application of the new window: its identifier, the desktop
// entry's name (else the identifier) and its process. A reader thread waits for the property changes
// and reads the window on connections of its own, so the main thread never waits on the server; the
// reports reach the main thread through the Scheduler.
class X11WorkspaceEvents final : public WorkspaceEvents {
public:
    // The longest the reader waits for one answer of the server.
    static constexpr std::chrono::milliseconds replyTimeout{500};

    X11WorkspaceEvents(Scheduler& scheduler, std::shared_ptr<DesktopFileIndex> installed);
    ~X11WorkspaceEvents() override;
    X11WorkspaceEvents(const X11WorkspaceEvents&) = delete;
    X11WorkspaceEvents& operator=(const X11WorkspaceEvents&) = delete;

    // The window active at the start is not reported, only later changes. Waits at most about
    // 2 × `replyTimeout` for the server.
    bool start(std::function<void(const Activation&)> onActivate) override;
    // Returns once the reader thread has ended; nothing is reported after it.
    void stop() override;

private:
    struct Delivery;

    Scheduler& scheduler_;
    std::shared_ptr<DesktopFileIndex> installed_;
    std::shared_ptr<Delivery> delivery_;
    UniqueFd stopEvent_;
    std::thread reader_;
};

} // namespace korvane::x11
